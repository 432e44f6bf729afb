#pragma once
// The control socket's replies in their two forms: lines of text closed by "ok" or
// "error: ...", or one line of JSON. Times are UTC: "2026-12-07 18:20:01Z" in text,
// "2026-12-07T18:20:01Z" in JSON.

#include <string>
#include <string_view>
#include <vector>

#include "app/OperatorReports.h"

namespace velgate {

struct ControlReply {
  bool ok = true;
  /// The reply as it goes to the client, its last line end included.
  std::string bytes;
  /// The request is one that changes the gateway (recorded in the operational log, carried
  /// out or not).
  bool changes = false;
  /// The gateway is to close once the reply is on its way.
  bool quit = false;
};

/// Which streams a list shows: the call begins so (any case), the address begins so.
struct StreamFilter {
  std::string call;
  std::string address;
  bool Shows(const StreamStatus& stream) const;
};

/// What "help" lists.
extern const std::vector<std::string> kHelpLines;

class ReplyForm {
 public:
  explicit ReplyForm(bool json) : json_(json) {}

  /// A reply that is one line of text: what was done, or why not.
  ControlReply Message(bool ok, const std::string& text) const;
  ControlReply Message(const ActionResult& result) const { return Message(result.ok, result.text); }
  /// Marks a reply as that of a command that changes the gateway.
  ControlReply Changed(ControlReply reply) const;
  ControlReply Lines(const std::vector<std::string>& lines) const;
  ControlReply Status(const GatewayStatus& status) const;
  ControlReply Streams(const std::vector<StreamStatus>& streams, const StreamFilter& filter) const;
  ControlReply LockOuts(const std::vector<std::string>& entries) const;
  ControlReply Reload(const ReloadReport& report) const;

 private:
  ControlReply Text(bool ok, const std::vector<std::string>& lines, const std::string& error) const;

  bool json_;
};

/// A UTC time as the text replies show it.
std::string TextTime(const DateTime& utc);
/// A span of seconds as "2d 03:04:05".
std::string Span(std::int64_t seconds);

}  // namespace velgate
