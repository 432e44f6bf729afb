#pragma once
// The operational log's lines, one per event:
//
//   <P>message key=value key=value ...
//
// P is the journald priority (3, 4, 6). A value never holds a blank or a double quote: a value
// that could (a folder, an error text) is written in double quotes with `"` and `\` escaped, and
// a caller's text (a call sign) has every byte outside printable ASCII and every blank, `"` and
// `=` made `_`, so that no caller can start a line or a key of its own.

#include <ostream>
#include <string>
#include <string_view>

#include "base/OperationsLog.h"

namespace velgate {

/// The priority of the event's line.
LogPriority PriorityOf(const oplog::Event& event);
/// The event's line, priority first, without its line end.
std::string OperationsLine(const oplog::Event& event);
/// A caller's text as one value: unsafe bytes made `_`, at most kMostCallBytes, `-` when empty.
std::string CallValue(std::string_view text);
/// A text as a double-quoted value: `"` and `\` escaped, control bytes as \xNN.
std::string QuotedValue(std::string_view text);

inline constexpr std::size_t kMostCallBytes = 32;

/// Writes each event's line to a stream, one write a line; quiet keeps warnings and errors.
class OperationsLineWriter final : public OperationsSink {
 public:
  OperationsLineWriter(std::ostream& out, bool quiet) : out_(out), quiet_(quiet) {}

  /// Whether a line of this priority is written.
  bool Shows(LogPriority priority) const { return !quiet_ || priority != LogPriority::kInfo; }
  void Record(const oplog::Event& event) override;

 private:
  std::ostream& out_;
  bool quiet_;
};

}  // namespace velgate
