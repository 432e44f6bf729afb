// Numbers from text: Val, the conversions of settings and link fields, a connection's address.

#include "platform/NumberText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/RunTimeError.h"
#include "streams/StreamTable.h"

namespace velgate {
namespace {

// The description of the RunTimeError the call throws; "" when it returns.
std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RunTimeError& error) {
    return error.Description();
  }
  return "";
}

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
  EXPECT_EQ(ErrorOf([] { ToInteger16(32767.5); }), "Overflow");
  EXPECT_EQ(ErrorOf([] { ToInteger32(2147483647.5); }), "Overflow");
  // Whole texts: a number with blanks around it, or a mismatch, or an overflow.
  EXPECT_EQ(TextToInteger16(" +007 "), 7);
  EXPECT_EQ(TextToInteger32("3.5"), 4);
  for (const char* text : {"", "12abc", "4 2", "1,5", "-"})
    EXPECT_EQ(ErrorOf([&] { TextToInteger32(text); }), "Type mismatch") << text;
  EXPECT_EQ(ErrorOf([] { TextToInteger16("40000"); }), "Overflow");
  EXPECT_EQ(TextToInteger32("40000"), 40000);
  // Stream and connection numbers: digits with an optional minus, in range.
  EXPECT_EQ(ParseStrictInteger("-007"), -7);
  for (const char* text : {"2147483648", "", "-", "+5", " 5", "1.0"})
    EXPECT_EQ(ParseStrictInteger(text), std::nullopt) << text;
}

}  // namespace
}  // namespace velgate
