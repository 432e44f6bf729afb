#include "codec/MonitorCommands.h"

#include "platform/NumberText.h"

namespace velgate {

std::vector<MonitorCommand> ReadMonitorCommands(std::string_view block) {
  using Kind = MonitorCommand::Kind;
  std::vector<MonitorCommand> commands;
  for (;;) {
    const bool m = !block.empty() && block[0] == 'M';
    const bool n = !block.empty() && block[0] == 'N';
    const std::size_t caret = (m || n) ? block.find('^', 1) : std::string_view::npos;
    if (caret == std::string_view::npos) break;
    const std::string_view argument = block.substr(1, caret - 1);
    MonitorCommand command{Kind::kFlagOn, 0, static_cast<std::int32_t>(caret + 1)};
    if (m && argument == "*") {
      command.kind = Kind::kFeedOn;
    } else if (m && argument == "-") {
      command.kind = Kind::kFeedOff;
    } else if (n && argument == "*") {
      command.kind = Kind::kAllFlagsOff;
    } else {
      command.kind = m ? Kind::kFlagOn : Kind::kFlagOff;
      command.number = RoundHalfEven(Val(argument));
    }
    commands.push_back(command);
    block.remove_prefix(caret + 1);
    if (block.empty()) return commands;
  }
  if (block == "B") {
    commands.push_back({Kind::kSummaryAndRows, 0, 0});
  } else if (block == "A") {
    commands.push_back({Kind::kFollowNew, 0, 0});
  } else {
    commands.push_back({Kind::kSelect, Val(block), 0});
  }
  return commands;
}

}  // namespace velgate
