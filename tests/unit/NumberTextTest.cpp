#include "platform/NumberText.h"

#include <gtest/gtest.h>

#include <optional>

#include "RunTimeErrorNumber.h"

namespace velgate {
namespace {

using velgate::testing::ErrorNumberOf;
using velgate::testing::kOverflow;
using velgate::testing::kTypeMismatch;

TEST(NumberTextTest, TextBecomesANumberTheWayTheSettingsAndLinksNeed) {
  // Val takes the leading decimal number only: no exponent, no hex.
  const std::pair<const char*, double> values[] = {
      {"\t 42", 42}, {"-12.5abc", -12.5}, {"-.25", -0.25}, {"1.5.3", 1.5},
      {"1e5", 1},    {"&H1F", 0},         {"--5", 0}};
  for (const auto& [text, value] : values) EXPECT_EQ(Val(text), value) << text;
  // Halves round to even; out of range is an overflow.
  for (const auto& [value, rounded] : {std::pair{0.5, 0.0}, {1.5, 2.0}, {2.5, 2.0}, {-2.5, -2.0}})
    EXPECT_EQ(RoundHalfEven(value), rounded) << value;
  EXPECT_EQ(ToInteger16(-32768.5), -32768);
  EXPECT_EQ(ErrorNumberOf([] { ToInteger16(32767.5); }), kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { ToInteger32(2147483647.5); }), kOverflow);
  // Whole texts: a number with blanks around it, or a mismatch, or an overflow.
  EXPECT_EQ(TextToInteger16(" +007 "), 7);
  EXPECT_EQ(TextToInteger32("3.5"), 4);
  for (const char* text : {"", "12abc", "4 2", "1,5", "-"})
    EXPECT_EQ(ErrorNumberOf([&] { TextToInteger32(text); }), kTypeMismatch) << text;
  EXPECT_EQ(ErrorNumberOf([] { TextToInteger16("40000"); }), kOverflow);
  EXPECT_EQ(TextToInteger32("40000"), 40000);
  // Stream and connection numbers: digits with an optional minus, in range.
  EXPECT_EQ(ParseStrictInteger("-007"), -7);
  for (const char* text : {"2147483648", "", "-", "+5", " 5", "1.0"})
    EXPECT_EQ(ParseStrictInteger(text), std::nullopt) << text;
}

}  // namespace
}  // namespace velgate
