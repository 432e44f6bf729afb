// The telnet filter: commands and the NUL after CR removed, every other byte unchanged, and the
// same result however the bytes are cut into blocks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "streams/TelnetFilter.h"

namespace velgate {
namespace {

const std::string IAC = "\xFF";
const std::string SE = "\xF0";
const std::string NOP = "\xF1";
const std::string AYT = "\xF6";
const std::string GA = "\xF9";
const std::string SB = "\xFA";
const std::string WILL = "\xFB";
const std::string WONT = "\xFC";
const std::string DO = "\xFD";
const std::string DONT = "\xFE";
const std::string CMD_EOF = "\xEC";
const std::string NUL(1, '\0');
const std::string OPT_ECHO = "\x01";
const std::string OPT_SGA = "\x03";
const std::string OPT_TTYPE = "\x18";

// What PuTTY sends at connect in telnet mode.
const std::string kPuttyConnect = IAC + WILL + "\x1F" + IAC + WILL + "\x20" + IAC + WILL +
                                  OPT_TTYPE + IAC + WILL + "\x27" + IAC + DO + OPT_ECHO + IAC +
                                  WILL + OPT_SGA + IAC + DO + OPT_SGA;

// The blocks filtered in order with one state, the output of all of them together.
std::string Filtered(const std::vector<std::string>& blocks) {
  TelnetFilterState state;
  std::string out;
  for (const std::string& block : blocks) FilterTelnet(state, block, out);
  return out;
}

std::string Filtered(const std::string& block) {
  return Filtered(std::vector<std::string>{block});
}

struct Case {
  const char* what;
  std::string in;
  std::string out;
};

TEST(TelnetFilterCommands, AreRemovedAndTextAroundThemKept) {
  const std::vector<Case> cases = {
      {"PuTTY's negotiation before a line", kPuttyConnect + "G1ABC\r\n", "G1ABC\r\n"},
      {"IAC EOF for ^D", "bye" + IAC + CMD_EOF, "bye"},
      {"IAC NOP, AYT, GA between text", "a" + IAC + NOP + "b" + IAC + AYT + "c" + IAC + GA + "d",
       "abcd"},
      {"character mode asks for SGA and ECHO",
       IAC + DO + OPT_SGA + IAC + DO + OPT_ECHO + "sh/dx\r\n", "sh/dx\r\n"},
      {"WILL, WONT, DO, DONT with their option",
       "1" + IAC + WILL + OPT_TTYPE + "2" + IAC + WONT + OPT_ECHO + "3" + IAC + DO + OPT_SGA + "4" +
           IAC + DONT + OPT_ECHO + "5",
       "12345"},
      {"the option byte is taken whatever it is", IAC + DO + IAC + "x" + IAC + WILL + "\r" + NUL,
       "x" + NUL},
      {"IAC IAC is one 0xFF byte of text", "a" + IAC + IAC + "b",
       "a\xFF"
       "b"},
      {"IAC IAC twice", IAC + IAC + IAC + IAC, "\xFF\xFF"},
      {"IAC IAC followed by a command", IAC + IAC + IAC + NOP + "z",
       "\xFF"
       "z"},
      {"subnegotiation removed whole", "a" + IAC + SB + OPT_TTYPE + NUL + "VT100" + IAC + SE + "b",
       "ab"},
      {"IAC IAC inside a subnegotiation does not end it",
       "a" + IAC + SB + OPT_TTYPE + IAC + IAC + SE + "still inside" + IAC + SE + "b", "ab"},
      {"another command inside a subnegotiation does not end it",
       IAC + SB + "\x1F" + IAC + NOP + "inside" + IAC + SE + "out", "out"},
      {"text bytes that look like commands inside a subnegotiation",
       IAC + SB + WILL + DO + SE + SB + "\r\n" + IAC + SE + "ok", "ok"},
      {"SE outside a subnegotiation is a one-byte command", "a" + IAC + SE + "b", "ab"},
      {"an empty subnegotiation", IAC + SB + IAC + SE + "x", "x"},
      {"only commands", kPuttyConnect + IAC + CMD_EOF, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Filtered(c.in), c.out) << c.what;
}

TEST(TelnetFilterCrNul, TheNulAfterACrIsDroppedOnlyThere) {
  const std::vector<Case> cases = {
      {"character mode ends a line with CR NUL", "sh/dx\r" + NUL, "sh/dx\r"},
      {"two lines in character mode", "a\r" + NUL + "b\r" + NUL, "a\rb\r"},
      {"NUL not after CR is text", NUL + "a" + NUL + "\n" + NUL, NUL + "a" + NUL + "\n" + NUL},
      {"only the first NUL after a CR is dropped", "a\r" + NUL + NUL, "a\r" + NUL},
      {"CR LF NUL keeps the NUL", "a\r\n" + NUL, "a\r\n" + NUL},
      {"CR CR NUL drops one NUL", "\r\r" + NUL, "\r\r"},
      {"a command between CR and NUL is not text", "a\r" + IAC + NOP + NUL + "b", "a\rb"},
      {"an escaped 0xFF between CR and NUL is text", "\r" + IAC + IAC + NUL, "\r\xFF" + NUL},
  };
  for (const Case& c : cases) EXPECT_EQ(Filtered(c.in), c.out) << c.what;
}

TEST(TelnetFilterCrNul, CrEndingOneBlockAndNulStartingTheNext) {
  EXPECT_EQ(Filtered({"sh/dx\r", NUL + "next"}), "sh/dx\rnext");
  EXPECT_EQ(Filtered({"a\r", "", NUL}), "a\r");
  // The CR's block ended after it, but the NUL's block is not the next one to follow it.
  EXPECT_EQ(Filtered({"a\r", "b", NUL}), "a\rb" + NUL);
  // A NUL that starts a stream follows nothing.
  EXPECT_EQ(Filtered({NUL, "a"}), NUL + "a");
}

TEST(TelnetFilterBlocks, EverySplitGivesTheSameOutputAsOneBlock) {
  const std::string in = kPuttyConnect + "G1ABC\r\n" + IAC + DO + OPT_SGA + IAC + DO + OPT_ECHO +
                         "sh/dx\r" + NUL + IAC + SB + OPT_TTYPE + NUL + "XTERM" + IAC + IAC + "x" +
                         IAC + SE + "a" + IAC + IAC + "b" + NUL + "\r" + IAC + NOP + NUL + "c" +
                         IAC + CMD_EOF;
  const std::string expected =
      "G1ABC\r\nsh/dx\ra\xFF"
      "b" +
      NUL + "\rc";
  ASSERT_EQ(Filtered(in), expected);
  // Three blocks, cut at every pair of positions; equal cuts give two blocks and an empty one.
  for (std::size_t first = 0; first <= in.size(); ++first) {
    for (std::size_t second = first; second <= in.size(); ++second) {
      const std::string out =
          Filtered({in.substr(0, first), in.substr(first, second - first), in.substr(second)});
      ASSERT_EQ(out, expected) << "cut at " << first << " and " << second;
    }
  }
  std::vector<std::string> bytes;
  for (char byte : in) bytes.emplace_back(1, byte);
  EXPECT_EQ(Filtered(bytes), expected) << "one byte a block";
}

TEST(TelnetFilterBlocks, AppendsToWhatTheCallerHas) {
  TelnetFilterState state;
  std::string out = "held ";
  FilterTelnet(state, "sh/dx" + IAC + NOP + "\r\n", out);
  EXPECT_EQ(out, "held sh/dx\r\n");
}

TEST(TelnetFilterText, PlainTextPassesByteForByte) {
  // Every byte value but 0xFF, with CR followed by 0x0E rather than NUL.
  std::string every_byte;
  for (int value = 0x00; value <= 0xFE; ++value) every_byte += static_cast<char>(value);
  const std::vector<std::string> texts = {
      "",
      "G1ABC\r\n",
      "sh/dx 20\r\nDX 14025.0 K1TTT\r\n\n\r",
      "^C is \x03, and ETX^ stays\x03\x04\r\n",
      "caf\xC3\xA9 \x80\x81\xA0\xEC\xF0\xF1\xFA\xFB\xFE\r\n",
      "\r",
      std::string("\0\0\n\0", 4),
      every_byte,
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(Filtered(text), text);
    // And cut anywhere.
    for (std::size_t cut = 0; cut <= text.size(); ++cut)
      ASSERT_EQ(Filtered({text.substr(0, cut), text.substr(cut)}), text) << "cut at " << cut;
  }
}

TEST(TelnetFilterText, PseudoRandomTextInPseudoRandomBlocksIsUnchanged) {
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<std::uint8_t>(seed >> 24);
  };
  std::string text;
  while (text.size() < 64 * 1024) {
    const std::uint8_t byte = next();
    if (byte == 0xFF || (byte == 0x00 && !text.empty() && text.back() == '\r')) continue;
    text += static_cast<char>(byte);
  }
  TelnetFilterState state;
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t size = 1 + next() % 700;
    FilterTelnet(state, std::string_view(text).substr(at, size), out);
    at += size;
  }
  EXPECT_EQ(out, text);
}

TEST(TelnetFilterMemory, ALongSubnegotiationIsDroppedAsItArrives) {
  static_assert(sizeof(TelnetFilterState) <= 4, "a few bytes per stream");
  TelnetFilterState state;
  std::string out;
  FilterTelnet(state, "before" + IAC + SB + OPT_TTYPE, out);
  EXPECT_EQ(out, "before");
  out.clear();
  // 1 MB of content in 4 KB pieces, with escaped 0xFF, CR NUL and bytes that look like commands.
  std::string piece;
  while (piece.size() < 4096) piece += "VT100\r" + NUL + IAC + IAC + SE + WILL + "\n";
  std::size_t fed = 0;
  while (fed < 1024 * 1024) {
    FilterTelnet(state, piece, out);
    fed += piece.size();
    ASSERT_EQ(out, "") << "after " << fed << " bytes";
    ASSERT_EQ(state.phase, TelnetFilterState::kSubnegotiation) << "after " << fed << " bytes";
  }
  FilterTelnet(state, IAC + SE + "after\r\n", out);
  EXPECT_EQ(out, "after\r\n");
  EXPECT_EQ(state.phase, TelnetFilterState::kText);
}

}  // namespace
}  // namespace velgate
