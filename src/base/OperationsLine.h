#pragma once
// The operational log's lines, one per event:
//
//   <P>message key=value key=value ...
//
// P is the journald priority (3, 4, 6). A value never holds a blank or a double quote: a value
// that could (a folder, an error text) is written in double quotes with `"` and `\` escaped, and
// a caller's text (a call sign) has every byte outside printable ASCII and every blank, `"` and
// `=` made `_`, so that no caller can start a line or a key of its own.

#include <cstdint>
#include <functional>
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
/// writable tells whether a line would go out without waiting: while it says no, lines are
/// left out and counted, and the count goes first once lines go out again
/// (`<4>log left-out lines=N`). A reader that stops, or a flood of callers, never holds the
/// gateway up and nothing piles up in memory.
class OperationsLineWriter final : public OperationsSink {
 public:
  OperationsLineWriter(std::ostream& out, bool quiet, std::function<bool()> writable = {})
      : out_(out), quiet_(quiet), writable_(std::move(writable)) {}

  /// Whether a line of this priority is written.
  bool Shows(LogPriority priority) const { return !quiet_ || priority != LogPriority::kInfo; }
  void Record(const oplog::Event& event) override;

 private:
  void Write(const std::string& line);

  std::ostream& out_;
  bool quiet_;
  std::function<bool()> writable_;
  std::uint64_t left_out_ = 0;
};

}  // namespace velgate
