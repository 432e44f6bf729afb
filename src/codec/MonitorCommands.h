#pragma once
// The monitor client's commands, read from one received block (no terminator, no holding):
// any number of "M" and "N" commands, each ended by "^", then at most one of
//   "B" (summary and every row), "A" (follow each new stream), or a stream number to select,
// which must be the whole rest of the block.
//
//   M*^  feed on, summary, every flag set    M-^  feed off    Mn^  flag n set
//   N*^  every flag cleared                  Nn^  flag n cleared

#include <cstdint>
#include <string_view>
#include <vector>

namespace velgate {

struct MonitorCommand {
  enum class Kind {
    kFeedOn,          ///< M*^
    kFeedOff,         ///< M-^
    kFlagOn,          ///< Mn^
    kAllFlagsOff,     ///< N*^
    kFlagOff,         ///< Nn^
    kSummaryAndRows,  ///< B
    kFollowNew,       ///< A
    kSelect,          ///< a stream number (any other text)
  };
  Kind kind;
  /// The stream number of kFlagOn, kFlagOff and kSelect (the leading number, 0 when none).
  double number = 0;
  /// Where the "^" of an M or N command stood in the rest of the block (from 1).
  std::int32_t caret = 0;
};

/// The commands of one block, in order.
std::vector<MonitorCommand> ReadMonitorCommands(std::string_view block);

}  // namespace velgate
