#include "platform/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "RunTimeErrorNumber.h"

namespace velgate {
namespace {

using velgate::testing::ErrorNumberOf;
using velgate::testing::kNoError;
using velgate::testing::kOverflow;
using velgate::testing::kTypeMismatch;

TEST(NumberTextTest, ValTakesOnlyTheLeadingDecimalNumber) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {{"7373", 7373},
                        {"  42", 42},
                        {"\t9", 9},
                        {"-12.5abc", -12.5},
                        {"+7", 7},
                        {".5", 0.5},
                        {"-.25", -0.25},
                        {"3.", 3},
                        {"1.5.3", 1.5},
                        {"07373 ", 7373},
                        {"1,5", 1},
                        {"1e5", 1},  // no exponent
                        {"0x1F", 0},
                        {"&H1F", 0},  // no hex
                        {"", 0},
                        {"abc", 0},
                        {"-", 0},
                        {".", 0},
                        {"--5", 0},
                        {"+-5", 0},
                        {"99999999999", 99999999999.0}};
  for (const Case& c : cases) EXPECT_EQ(Val(c.text), c.expected) << '"' << c.text << '"';
}

TEST(NumberTextTest, RoundingTakesHalvesToEven) {
  const double cases[][2] = {{0.5, 0},    {1.5, 2},   {2.5, 2},       {3.5, 4},
                             {-0.5, 0},   {-1.5, -2}, {-2.5, -2},     {2.4999, 2},
                             {2.5001, 3}, {-7, -7},   {4000.5, 4000}, {4001.5, 4002}};
  for (const auto& c : cases) EXPECT_EQ(RoundHalfEven(c[0]), c[1]) << c[0];
}

TEST(NumberTextTest, WholeNumberConversionsRoundThenCheckTheirRange) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();

  EXPECT_EQ(ToInteger16(32767.4), 32767);
  EXPECT_EQ(ToInteger16(-32768.5), -32768);  // rounds to the even -32768, still in range
  EXPECT_EQ(ToInteger16(9002.5), 9002);
  for (double value : {32767.5, 32768.0, -32768.6, -32769.0, 1e10, inf, nan}) {
    EXPECT_EQ(ErrorNumberOf([&] { ToInteger16(value); }), kOverflow) << value;
  }

  EXPECT_EQ(ToInteger32(2147483647.4), 2147483647);
  EXPECT_EQ(ToInteger32(-2147483648.5), std::numeric_limits<std::int32_t>::min());
  for (double value : {2147483647.5, 2147483648.0, -2147483649.0, -inf, nan}) {
    EXPECT_EQ(ErrorNumberOf([&] { ToInteger32(value); }), kOverflow) << value;
  }

  EXPECT_EQ(ToSingle(1e38), 1e38f);
  EXPECT_EQ(ToSingle(-4000.25), -4000.25f);
  for (double value : {3.5e38, -3.5e38, inf}) {
    EXPECT_EQ(ErrorNumberOf([&] { ToSingle(value); }), kOverflow) << value;
  }
}

TEST(NumberTextTest, TextConversionsNeedTheWholeTextToBeANumber) {
  struct Case {
    const char* text;
    int error;
    std::int32_t value;
  };
  const Case cases[] = {
      {" 42 ", kNoError, 42},      {"-7", kNoError, -7},      {"+5", kNoError, 5},
      {"007", kNoError, 7},        {"2.5", kNoError, 2},      {"3.5", kNoError, 4},
      {"", kTypeMismatch, 0},      {"   ", kTypeMismatch, 0}, {"abc", kTypeMismatch, 0},
      {"12abc", kTypeMismatch, 0}, {"4 2", kTypeMismatch, 0}, {"1,5", kTypeMismatch, 0},
      {"-", kTypeMismatch, 0},     {".", kTypeMismatch, 0}};
  for (const Case& c : cases) {
    std::int16_t short_value = 0;
    std::int32_t long_value = 0;
    EXPECT_EQ(ErrorNumberOf([&] { short_value = TextToInteger16(c.text); }), c.error) << c.text;
    EXPECT_EQ(ErrorNumberOf([&] { long_value = TextToInteger32(c.text); }), c.error) << c.text;
    if (c.error == kNoError) {
      EXPECT_EQ(short_value, c.value) << c.text;
      EXPECT_EQ(long_value, c.value) << c.text;
    }
  }

  // A number out of range is an overflow, not a mismatch; the wider type still takes it.
  EXPECT_EQ(ErrorNumberOf([] { TextToInteger16("40000"); }), kOverflow);
  EXPECT_EQ(ErrorNumberOf([] { TextToInteger16("32767.5"); }), kOverflow);
  EXPECT_EQ(TextToInteger32("40000"), 40000);
  EXPECT_EQ(ErrorNumberOf([] { TextToInteger32("2147483648"); }), kOverflow);
}

TEST(NumberTextTest, StrictIntegersAreDigitsWithAnOptionalMinus) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> expected;
  };
  const Case cases[] = {{"123", 123},
                        {"-5", -5},
                        {"007", 7},
                        {"2147483647", 2147483647},
                        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
                        {"2147483648", std::nullopt},
                        {"-2147483649", std::nullopt},
                        {"", std::nullopt},
                        {"-", std::nullopt},
                        {"+5", std::nullopt},
                        {" 5", std::nullopt},
                        {"5 ", std::nullopt},
                        {"1.0", std::nullopt},
                        {"12a", std::nullopt},
                        {"1-2", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(ParseStrictInteger(c.text), c.expected) << c.text;
}

TEST(NumberTextTest, SingleTextHasNoExponentAndReadsBackAsTheSameValue) {
  struct Case {
    float value;
    const char* text;
  };
  const Case cases[] = {{0.0f, "0"},          {-0.0f, "0"},           {4000.0f, "4000"},
                        {-150.0f, "-150"},    {1234.5f, "1234.5"},    {-0.25f, "-0.25"},
                        {0.1f, "0.1"},        {1e10f, "10000000000"}, {1e-7f, "0.0000001"},
                        {5000.25f, "5000.25"}};
  for (const Case& c : cases) {
    EXPECT_EQ(SingleText(c.value), c.text) << c.value;
    // Window values are written this way and read back with Val; they must not drift.
    EXPECT_EQ(ToSingle(Val(c.text)), c.value) << c.text;
  }
  const std::string largest = SingleText(3.4e38f);
  EXPECT_EQ(largest.find_first_of("eE."), std::string::npos) << largest;
  EXPECT_EQ(ToSingle(Val(largest)), 3.4e38f);
}

}  // namespace
}  // namespace velgate
