// Reading the monitor client's commands from one block.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/MonitorCommands.h"

namespace velgate {
namespace {

std::string Describe(const std::vector<MonitorCommand>& commands) {
  std::string text;
  for (const MonitorCommand& c : commands) {
    static const char* names[] = {"on", "off", "M", "N*", "N", "B", "A", "select"};
    text += names[static_cast<int>(c.kind)];
    if (c.kind == MonitorCommand::Kind::kFlagOn || c.kind == MonitorCommand::Kind::kFlagOff ||
        c.kind == MonitorCommand::Kind::kSelect) {
      text += std::to_string(static_cast<long long>(c.number));
    }
    text += ' ';
  }
  return text;
}

TEST(MonitorCommands, BlocksAndWhatTheyAsk) {
  struct Case {
    std::string block;
    std::string commands;
  };
  const std::vector<Case> cases = {
      {"M*^", "on "},
      {"M*^B", "on B "},
      {"M-^", "off "},
      {"M5^N7^12", "M5 N7 select12 "},
      {"N*^M3^A", "N* M3 A "},
      // Without its "^" an M is no command: the block is a selection of stream 0.
      {"M*", "select0 "},
      // "-" means nothing to N: flag 0.
      {"N-^", "N0 "},
      {"M2.5^M3.5^", "M2 M4 "},
      {"Mx^", "M0 "},
      {"-1", "select-1 "},
      {"B", "B "},
      // "B" with anything after it is a selection, not a "B".
      {"BX", "select0 "},
      {"M1^B ", "M1 select0 "},
      {"", "select0 "},
      {"^M1^", "select0 "},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Describe(ReadMonitorCommands(c.block)), c.commands) << c.block;
}

TEST(MonitorCommands, CaretPositionIsCountedInTheRestOfTheBlock) {
  std::vector<MonitorCommand> commands = ReadMonitorCommands("M12^N3^");
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].caret, 4);
  EXPECT_EQ(commands[1].caret, 3);
}

}  // namespace
}  // namespace velgate
