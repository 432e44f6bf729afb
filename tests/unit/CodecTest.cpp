// The codecs of received bytes: telnet filtering, the cluster's messages, the monitor's commands.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "codec/LinkCodec.h"
#include "codec/MonitorCommands.h"
#include "codec/TelnetFilter.h"

namespace velgate {
namespace {

using Blocks = std::array<std::string_view, 3>;

// Calls check with the bytes in three blocks, cut at every two points (the second step apart).
void ForEveryCut(std::string_view bytes, std::size_t step,
                 const std::function<void(const Blocks&)>& check) {
  for (std::size_t first = 0; first <= bytes.size(); ++first)
    for (std::size_t second = first; second <= bytes.size(); second += step) {
      check({bytes.substr(0, first), bytes.substr(first, second - first), bytes.substr(second)});
      if (::testing::Test::HasFatalFailure()) return;
    }
}

const std::string IAC = "\xFF", SE = "\xF0", NOP = "\xF1", SB = "\xFA", WILL = "\xFB", DO = "\xFD",
                  DONT = "\xFE", CMD_EOF = "\xEC", OPT_ECHO = "\x01", OPT_TTYPE = "\x18",
                  NUL(1, '\0');

TEST(TelnetFilter, CommandsAndTheNulAfterACrAreRemovedHoweverTheBytesAreCutIntoBlocks) {
  // It never holds a subnegotiation's content, however long: its state has no room for it.
  static_assert(sizeof(TelnetFilterState) <= 4, "a few bytes per stream");
  // Every byte value but 0xFF, with CR followed by 0x0E rather than NUL.
  std::string every_byte = std::string("\0\0\n\0", 4) + "G1ABC\r\n\n";
  for (int value = 0x00; value <= 0xFE; ++value) every_byte += static_cast<char>(value);
  const std::pair<std::string, std::string> cases[] = {
      {every_byte, every_byte},
      {"bye" + IAC + NOP + "!" + IAC + CMD_EOF, "bye!"},
      {"1" + IAC + WILL + OPT_TTYPE + "2" + IAC + DONT + OPT_ECHO + "3", "123"},
      {IAC + DO + IAC + "x" + IAC + WILL + "\r" + NUL, "x" + NUL},  // any byte is an option
      {"a" + IAC + IAC + IAC + IAC + IAC + NOP + "b", "a" + IAC + IAC + "b"},
      {"a" + IAC + SB + OPT_TTYPE + NUL + "VT\r" + NUL + IAC + IAC + SE + WILL + IAC + NOP + IAC +
           SE + "b",
       "ab"},
      {"a" + IAC + SE + "b", "ab"},
      {"a\r" + NUL + "b\r" + NUL + NUL, "a\rb\r" + NUL},  // character mode
      {NUL + "a" + NUL + "\r\n" + NUL + "\r\r" + NUL, NUL + "a" + NUL + "\r\n" + NUL + "\r\r"},
      {"a\r" + IAC + NOP + NUL + "\r" + IAC + IAC + NUL, "a\r\r" + IAC + NUL}};
  for (const auto& c : cases)
    ForEveryCut(c.first, 1, [&](const Blocks& blocks) {
      TelnetFilterState state;
      std::string got;
      for (std::string_view block : blocks) FilterTelnet(state, block, got);
      ASSERT_EQ(got, c.second) << ::testing::PrintToString(blocks);
    });
}

const std::string ETX = "\x03", EOT = "\x04";

// The messages the blocks give, fed in turn to one splitter, then the tail it holds.
std::vector<std::string> MessagesOf(const Blocks& blocks) {
  DownstreamSplitter splitter;
  std::vector<std::string> messages;
  for (std::string_view block : blocks) {
    EXPECT_EQ(splitter.Feed(block), DownstreamSplitter::Kind::kMessages);
    messages.insert(messages.end(), splitter.Messages().begin(), splitter.Messages().end());
  }
  messages.push_back(splitter.Holding());
  return messages;
}

TEST(DownstreamSplitter, EverySplitPointGivesTheSameMessages) {
  // Messages as the cluster sends them, an empty one among them, then a tail still to end.
  const std::vector<std::string> messages = {
      "3" + ETX + "5" + ETX + "login: ",
      "4" + ETX + "5" + ETX + "G1ABC",
      "0" + ETX + "5" + ETX + "DX de K1TTT: 14025.0" + ETX + "12",
      "continued text",
      "",
      "8" + ETX + "5",
      "held"};
  std::string recorded;
  for (const std::string& message : messages) recorded += message + EOT;
  recorded.pop_back();
  ForEveryCut(recorded, 7, [&](const Blocks& blocks) {
    ASSERT_EQ(MessagesOf(blocks), messages) << ::testing::PrintToString(blocks);
  });
}

TEST(DownstreamSplitter, HandshakeWordsOnlyAsAWholeShortBlock) {
  DownstreamSplitter splitter;
  EXPECT_EQ(splitter.Feed("ZQ Cluster"), DownstreamSplitter::Kind::kGreeting);
  EXPECT_EQ(splitter.Feed("7261"), DownstreamSplitter::Kind::kReady);
  EXPECT_EQ(splitter.Feed("ZQ Cluster!"), DownstreamSplitter::Kind::kMessages);
  EXPECT_EQ(splitter.Holding(), "ZQ Cluster!");
  splitter.Reset();
  // A word split over blocks is recognised whole once the held part comes in front.
  EXPECT_EQ(splitter.Feed("72"), DownstreamSplitter::Kind::kMessages);
  EXPECT_EQ(splitter.Feed("61"), DownstreamSplitter::Kind::kReady);
  EXPECT_EQ(splitter.Feed("7261" + EOT), DownstreamSplitter::Kind::kMessages);
}

TEST(DownstreamSplitter, ALargeMessageInSmallBlocksIsHeldOnceAndMoreThanItHoldsOverflows) {
  DownstreamSplitter splitter;
  // 4 MiB in 1 KiB blocks: appended as it comes, not copied again on every block.
  const std::string kilobyte(1024, 'x');
  for (int i = 0; i < 4096; ++i)
    ASSERT_EQ(splitter.Feed(kilobyte), DownstreamSplitter::Kind::kMessages);
  ASSERT_EQ(splitter.Feed(EOT + "tail"), DownstreamSplitter::Kind::kMessages);
  EXPECT_EQ(splitter.Messages().at(0).size(), std::size_t{4} << 20);
  EXPECT_EQ(splitter.Holding(), "tail");
  EXPECT_LT(splitter.Holding().capacity(), DownstreamSplitter::kKeptCapacity);
  splitter.Reset();
  const std::string most(DownstreamSplitter::kMostHeld, 'x');
  EXPECT_EQ(splitter.Feed(most), DownstreamSplitter::Kind::kMessages);
  EXPECT_EQ(splitter.Feed("x"), DownstreamSplitter::Kind::kOverflow);
  EXPECT_EQ(splitter.Holding(), "");
}

std::string Describe(const std::vector<MonitorCommand>& commands) {
  static const char* names[] = {"on", "off", "M", "N*", "N", "B", "A", "select"};
  std::string text;
  for (const MonitorCommand& c : commands) {
    text += names[static_cast<int>(c.kind)];
    if (c.number != 0) text += std::to_string(static_cast<long long>(c.number));
    text += ' ';
  }
  return text;
}

TEST(MonitorCommands, BlocksAndWhatTheyAsk) {
  // Without its "^" an M is no command; a "B" with anything after it is a selection.
  const char* const cases[] = {
      "M*^",     "on ",      "M*^B", "on B ",     "M-^", "off ", "M5^N7^12",   "M5 N7 select12 ",
      "N*^M3^A", "N* M3 A ", "M*",   "select ",   "N-^", "N ",   "M2.5^M3.5^", "M2 M4 ",
      "Mx^",     "M ",       "-1",   "select-1 ", "B",   "B ",   "M1^B ",      "M1 select ",
      "",        "select ",  "^M1^", "select "};
  for (std::size_t i = 0; i < std::size(cases); i += 2)
    EXPECT_EQ(Describe(ReadMonitorCommands(cases[i])), cases[i + 1]) << cases[i];
}

}  // namespace
}  // namespace velgate
