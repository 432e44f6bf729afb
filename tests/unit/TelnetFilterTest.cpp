// The telnet filter: commands and the NUL after CR removed, every other byte unchanged, and the
// same result however the bytes are cut into blocks.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "codec/TelnetFilter.h"

namespace velgate {
namespace {

// Telnet commands and options, and the NUL byte.
const std::string IAC = "\xFF", SE = "\xF0", NOP = "\xF1", SB = "\xFA", WILL = "\xFB", DO = "\xFD",
                  DONT = "\xFE", CMD_EOF = "\xEC", OPT_ECHO = "\x01", OPT_SGA = "\x03",
                  OPT_TTYPE = "\x18", NUL(1, '\0');

// What PuTTY sends at connect in telnet mode.
const std::string kPuttyConnect = IAC + WILL + "\x1F" + IAC + WILL + "\x20" + IAC + WILL +
                                  OPT_TTYPE + IAC + WILL + "\x27" + IAC + DO + OPT_ECHO + IAC +
                                  WILL + OPT_SGA + IAC + DO + OPT_SGA;

// The blocks filtered in order with one state.
std::string Filtered(const std::vector<std::string>& blocks) {
  TelnetFilterState state;
  std::string out;
  for (const std::string& block : blocks) FilterTelnet(state, block, out);
  return out;
}

TEST(TelnetFilter, CommandsAndTheNulAfterACrAreRemovedAndAllElsePassesAsIs) {
  // Every byte value but 0xFF, with CR followed by 0x0E rather than NUL.
  std::string every_byte = std::string("\0\0\n\0", 4) + "G1ABC\r\n\n";
  for (int value = 0x00; value <= 0xFE; ++value) every_byte += static_cast<char>(value);
  // What, bytes in, bytes out.
  const std::vector<std::tuple<const char*, std::string, std::string>> cases = {
      {"PuTTY's negotiation", kPuttyConnect + "G1ABC\r\n", "G1ABC\r\n"},
      {"two-byte commands", "bye" + IAC + NOP + "!" + IAC + CMD_EOF, "bye!"},
      {"options", "1" + IAC + WILL + OPT_TTYPE + "2" + IAC + DONT + OPT_ECHO + "3", "123"},
      {"any option byte", IAC + DO + IAC + "x" + IAC + WILL + "\r" + NUL, "x" + NUL},
      {"IAC IAC", "a" + IAC + IAC + IAC + IAC + IAC + IAC + IAC + NOP + "b",
       "a\xFF\xFF\xFF"
       "b"},
      {"SB..SE",
       "a" + IAC + SB + OPT_TTYPE + NUL + "VT" + IAC + IAC + SE + WILL + IAC + NOP + IAC + SE + "b",
       "ab"},
      {"SE alone", "a" + IAC + SE + "b", "ab"},
      {"character mode", "a\r" + NUL + "b\r" + NUL + NUL, "a\rb\r" + NUL},
      {"NUL not after CR", NUL + "a" + NUL + "\r\n" + NUL + "\r\r" + NUL,
       NUL + "a" + NUL + "\r\n" + NUL + "\r\r"},
      {"command between CR and NUL", "a\r" + IAC + NOP + NUL + "\r" + IAC + IAC + NUL,
       "a\r\r\xFF" + NUL}};
  for (const auto& [what, in, out] : cases) EXPECT_EQ(Filtered({in}), out) << what;
  EXPECT_EQ(Filtered({every_byte}), every_byte);
  EXPECT_EQ(Filtered({"a\r", "", NUL}), "a\r");
  EXPECT_EQ(Filtered({"a\r", "b", NUL}), "a\rb" + NUL);
  EXPECT_EQ(Filtered({NUL, "a"}), NUL + "a");
}

TEST(TelnetFilter, EverySplitGivesTheSameOutputAsOneBlock) {
  const std::string in = kPuttyConnect + "G1ABC\r\n" + IAC + DO + OPT_SGA + "sh/dx\r" + NUL + IAC +
                         SB + OPT_TTYPE + NUL + "XTERM" + IAC + IAC + "x" + IAC + SE + "a" + IAC +
                         IAC + "b" + NUL + "\r" + IAC + NOP + NUL + "c" + IAC + CMD_EOF;
  const std::string expected =
      "G1ABC\r\nsh/dx\ra\xFF"
      "b" +
      NUL + "\rc";
  for (std::size_t first = 0; first <= in.size(); ++first) {
    for (std::size_t second = first; second <= in.size(); ++second) {
      ASSERT_EQ(
          Filtered({in.substr(0, first), in.substr(first, second - first), in.substr(second)}),
          expected)
          << "cut at " << first << " and " << second;
    }
  }
}

TEST(TelnetFilter, ALongSubnegotiationIsDroppedAsItArrivesInAFewBytesOfState) {
  static_assert(sizeof(TelnetFilterState) <= 4, "a few bytes per stream");
  TelnetFilterState state;
  std::string out;
  FilterTelnet(state, "before" + IAC + SB + OPT_TTYPE, out);
  std::string piece;
  while (piece.size() < 4096) piece += "VT100\r" + NUL + IAC + IAC + SE + WILL + "\n";
  for (std::size_t fed = 0; fed < 1024 * 1024; fed += piece.size()) {
    FilterTelnet(state, piece, out);
    ASSERT_EQ(out, "before") << "after " << fed << " bytes";
  }
  FilterTelnet(state, IAC + SE + "after\r\n", out);
  EXPECT_EQ(out, "beforeafter\r\n");
}

}  // namespace
}  // namespace velgate
