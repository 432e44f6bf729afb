// Reading the monitor client's commands from one block.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/MonitorCommands.h"

namespace velgate {
namespace {

std::string Describe(const std::vector<MonitorCommand>& commands) {
  static const char* names[] = {"on", "off", "M", "N*", "N", "B", "A", "select"};
  std::string text;
  for (const MonitorCommand& c : commands) {
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
  const std::pair<std::string, std::string> cases[] = {
      {"M*^", "on "},
      {"M*^B", "on B "},
      {"M-^", "off "},
      {"M5^N7^12", "M5 N7 select12 "},
      {"N*^M3^A", "N* M3 A "},
      {"M*", "select0 "},  // without its "^" an M is no command
      {"N-^", "N0 "},
      {"M2.5^M3.5^", "M2 M4 "},
      {"Mx^", "M0 "},
      {"-1", "select-1 "},
      {"B", "B "},
      {"M1^B ", "M1 select0 "},  // "B" with anything after it is a selection
      {"", "select0 "},
      {"^M1^", "select0 "}};
  for (const auto& [block, commands] : cases)
    EXPECT_EQ(Describe(ReadMonitorCommands(block)), commands) << block;
}

}  // namespace
}  // namespace velgate
