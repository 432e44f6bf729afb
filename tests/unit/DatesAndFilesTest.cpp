// The date stamps and the two small files that carry them: error.log and highwater.dat.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "RunTimeErrorNumber.h"
#include "TempFolder.h"
#include "base/Dates.h"
#include "base/ErrorLog.h"
#include "platform/Clock.h"
#include "protection/HighwaterFile.h"

namespace velgate {
namespace {

using velgate::testing::ErrorNumberOf;
using velgate::testing::kNoError;

TEST(DatesTest, EveryStampHasItsOwnLayout) {
  const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int month = 1; month <= 12; ++month)
    EXPECT_EQ(EnglishDate({2026, month, 4, 5, 30, 0}),
              std::string("04-") + months[month - 1] + "-2026");
  const DateTime time{2028, 2, 29, 3, 7, 9};
  EXPECT_EQ(LoginTimeStamp(time), "29-Feb-2028 0307Z");
  EXPECT_EQ(HighwaterDateText(time), "29-Feb-2028  03:07");
  EXPECT_EQ(StartTimeText(time), "2028-02-29 03:07:09");
  EXPECT_EQ(ErrorLogLine(time, "WriteFix ", "Overflow"),
            "\"29-02-2028 0307Z WriteFix  Overflow\"\r\n");
}

TEST(DatesTest, UtcAndLocalStampsOfOneReadingFallInTheirOwnZonesAndErrorLogLinesAreLocal) {
  // 23:30 local on New Year's Eve, five hours behind UTC: UTC is already in the new year.
  ManualClock clock({2027, 1, 1, 4, 30, 10}, -5 * 60);
  EXPECT_EQ(EnglishDate(clock.Now().utc), "01-Jan-2027");
  EXPECT_EQ(LoginTimeStamp(clock.Now().utc), "01-Jan-2027 0430Z");
  EXPECT_EQ(HighwaterDateText(clock.Now().local), "31-Dec-2026  23:30");
  // error.log's lines are stamped in local time.
  velgate::testing::TempFolder folder;
  std::vector<std::string> alerts;
  ErrorLogFile log(folder.File("error.log"), clock,
                   [&](const std::string& description) { alerts.push_back(description); });
  log.Write("Reformat", "");
  clock.AdvanceMs(30 * 60 * 1000);
  log.Write("Timer4_timer", "Overflow");
  EXPECT_EQ(folder.Read("error.log"),
            "\"31-12-2026 2330Z Reformat \"\r\n\"01-01-2027 0000Z Timer4_timer Overflow\"\r\n");
  EXPECT_TRUE(alerts.empty());
  // An unwritable log alerts the operator and loses the entry.
  ErrorLogFile lost(folder.File("missing/error.log"), clock,
                    [&](const std::string& description) { alerts.push_back(description); });
  lost.Write("SendAll", "Overflow");
  EXPECT_EQ(alerts.size(), 1u);
  EXPECT_FALSE(folder.Exists("missing"));
  EXPECT_NO_THROW(ErrorLogFile(folder.File("missing/error.log"), clock, nullptr).Write("A", ""));
  // East of UTC, across a leap day.
  EXPECT_EQ(StartTimeText(ManualClock({2028, 2, 28, 22, 15, 0}, 120).Now().local),
            "2028-02-29 00:15:00");
}

TEST(HighwaterFileTest, ReadsTheCountWithOrWithoutItsDateAndWritesOneRecord) {
  const std::tuple<const char*, std::int32_t, const char*> cases[] = {
      {"17,\"04-Dec-2026  05:30\"", 17, "04-Dec-2026  05:30"},
      {"17\r\n", 17, ""},
      {"2147483647,\"31-Dec-2026  23:59\"\r\n", 2147483647, "31-Dec-2026  23:59"}};
  for (const auto& [bytes, count, date] : cases) {
    EXPECT_EQ(ReadHighwaterCount(bytes), count) << bytes;
    EXPECT_EQ(ReadHighwaterDate(bytes), date) << bytes;
  }
  EXPECT_EQ(HighwaterFileText({17, "04-Dec-2026  05:30"}), "17,\"04-Dec-2026  05:30\"\r\n");
  for (const char* bytes : {"", "\r\n", "abc,\"04-Dec-2026  05:30\"\r\n", "12abc\r\n",
                            "2147483648,\"04-Dec-2026  05:30\"\r\n"}) {
    EXPECT_NE(ErrorNumberOf([&] { ReadHighwaterCount(bytes); }), kNoError)
        << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace velgate
