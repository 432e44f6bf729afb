#include "protection/HighwaterFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "RunTimeErrorNumber.h"

namespace velgate {
namespace {

using velgate::testing::ErrorNumberOf;
using velgate::testing::kNoError;

TEST(HighwaterFileTest, ReadsTheCountWithOrWithoutItsDate) {
  struct Case {
    const char* bytes;
    std::int32_t count;
    const char* date;
  };
  const Case cases[] = {
      {"17,\"04-Dec-2026  05:30\"\r\n", 17, "04-Dec-2026  05:30"},
      {"17,\"04-Dec-2026  05:30\"", 17, "04-Dec-2026  05:30"},
      {"17\r\n", 17, ""},
      {"17", 17, ""},
      {"0,\"\"\r\n", 0, ""},
      {"2147483647,\"31-Dec-2026  23:59\"\r\n", 2147483647, "31-Dec-2026  23:59"}};
  for (const Case& c : cases) {
    EXPECT_EQ(ReadHighwaterCount(c.bytes), c.count) << c.bytes;
    EXPECT_EQ(ReadHighwaterDate(c.bytes), c.date) << c.bytes;
  }
}

TEST(HighwaterFileTest, AnEmptyFileOrANonNumberCountFails) {
  for (const char* bytes : {"", "\r\n", "abc,\"04-Dec-2026  05:30\"\r\n", "12abc\r\n",
                            "2147483648,\"04-Dec-2026  05:30\"\r\n"}) {
    EXPECT_NE(ErrorNumberOf([&] { ReadHighwaterCount(bytes); }), kNoError)
        << ::testing::PrintToString(bytes);
  }
}

TEST(HighwaterFileTest, WritesOneRecordThatReadsBack) {
  const std::string text = HighwaterFileText({17, "04-Dec-2026  05:30"});
  EXPECT_EQ(text, "17,\"04-Dec-2026  05:30\"\r\n");
  EXPECT_EQ(ReadHighwaterCount(text), 17);
  EXPECT_EQ(ReadHighwaterDate(text), "04-Dec-2026  05:30");
}

}  // namespace
}  // namespace velgate
