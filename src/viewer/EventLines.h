#pragma once
// The line mode: one line per event, stamped with the time of day, for grep and for recording
// a session.
//
//   12:03:04 link connected 127.0.0.1:15555
//   12:03:04 row 12 logged in call=G0ABC address=127.0.0.1 port=51234
//   12:03:05 in 12 sh/dx                      the followed stream's input
//   12:03:05 out 12 DX de K1TTT: ...          its output
//   12:03:06 trace 9 ...                      a flagged stream's output
//   12:03:07 summary all-time mark 40 04-Dec-2026  05:30
//   12:03:08 bad message ^ZQ99^x
//   12:03:09 link reconnecting in 1 s (the gateway closed the connection)
//   12:03:10 link refused, again in 2 s

#include <functional>
#include <string>

#include "platform/Clock.h"
#include "viewer/MonitorModel.h"
#include "viewer/MonitorSession.h"

namespace velgate::viewer {

class EventLines final : public ModelEvents, public SessionEvents {
 public:
  using Writer = std::function<void(const std::string& line)>;
  EventLines(const Clock& clock, const MonitorSession& session, Writer writer)
      : clock_(clock), session_(session), writer_(std::move(writer)) {}

  void RowChanged(const ViewerRow& row, RowState before) override;
  void TrafficAdded(const TrafficLine& line) override;
  void SummaryChanged(const std::string& what) override;
  void BadMessage(const std::string& text) override;
  void LinkChanged(const LinkStatus& status) override;

 private:
  void Write(const std::string& text);

  const Clock& clock_;
  const MonitorSession& session_;
  Writer writer_;
};

/// The link in words: "connected HOST:PORT", "connecting HOST:PORT", "refused, again in 2 s",
/// "reconnecting in 2 s (why)".
std::string LinkWords(const LinkStatus& status, const std::string& target);

}  // namespace velgate::viewer
