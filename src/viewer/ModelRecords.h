#pragma once
// What the monitor client's model holds, record by record, and the events it tells.

#include <climits>
#include <cstdint>
#include <string>

#include "codec/MonitorMessageReader.h"
#include "model/Colours.h"
#include "viewer/RowStates.h"

namespace velgate::viewer {

/// A stream's row as the client holds it: the fields of its last row message (selected: that
/// message was a ^ZQ60 row), kept up to date by field updates, and what the client makes of it.
struct ViewerRow : monitor_messages::RowMessage {
  static constexpr std::int64_t kNotShown = INT64_MIN;

  /// A row not yet heard of is painted white, as the gateway paints a free one.
  ViewerRow() { address_colour = port_colour = call_colour = colours::kWhite; }

  RowState state = RowState::kFree;
  std::int64_t ended_ms = 0;  ///< steady time it ended, while ended; kNotShown once faded
};

/// One line of traffic, stamped when it arrived.
struct TrafficLine {
  enum class Kind { kInput, kOutput, kTrace };
  Kind kind = Kind::kOutput;
  int stream = 0;    ///< 0: the followed stream was not known
  std::string time;  ///< HH:MM:SS, local
  std::string text;  ///< printable, at most kMostLineBytes
};

/// A listener as the summary and its counter tell.
struct ListenerView {
  std::string port;
  Colour colour = colours::kWhite;
  std::string counter = "0";
};

/// A highwater mark.
struct MarkView {
  std::int32_t count = 0;
  std::string date;
  bool known = false;
};

/// Hears each change of the model as it happens.
class ModelEvents {
 public:
  /// A row changed state, call, address or port; before is its state until now.
  virtual void RowChanged(const ViewerRow& row, RowState before) = 0;
  virtual void TrafficAdded(const TrafficLine& line) = 0;
  /// A mark, the status line, a listener or its counter changed; what says which, in words.
  virtual void SummaryChanged(const std::string& what) = 0;
  /// A message that is none of the monitor messages (printable, cut short).
  virtual void BadMessage(const std::string& text) = 0;

 protected:
  ~ModelEvents() = default;
};

}  // namespace velgate::viewer
