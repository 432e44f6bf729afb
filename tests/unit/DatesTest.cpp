#include "app/Dates.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Clock.h"

namespace velgate {
namespace {

TEST(DatesTest, EnglishDateUsesEnglishMonthNames) {
  const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(EnglishDate({2026, month, 4, 5, 30, 0}),
              std::string("04-") + names[month - 1] + "-2026");
  }
}

TEST(DatesTest, EveryStampHasItsOwnLayout) {
  struct Case {
    DateTime time;
    const char* english;
    const char* login;
    const char* error_log;
    const char* highwater;
    const char* start;
  };
  const Case cases[] = {{{2026, 12, 4, 5, 7, 9},
                         "04-Dec-2026",
                         "04-Dec-2026 0507Z",
                         "04-12-2026 0507Z",
                         "04-Dec-2026  05:07",
                         "2026-12-04 05:07:09"},
                        {{2027, 1, 1, 0, 0, 0},
                         "01-Jan-2027",
                         "01-Jan-2027 0000Z",
                         "01-01-2027 0000Z",
                         "01-Jan-2027  00:00",
                         "2027-01-01 00:00:00"},
                        {{2028, 2, 29, 23, 59, 59},
                         "29-Feb-2028",
                         "29-Feb-2028 2359Z",
                         "29-02-2028 2359Z",
                         "29-Feb-2028  23:59",
                         "2028-02-29 23:59:59"}};
  for (const Case& c : cases) {
    EXPECT_EQ(EnglishDate(c.time), c.english);
    EXPECT_EQ(LoginTimeStamp(c.time), c.login);
    EXPECT_EQ(ErrorLogStamp(c.time), c.error_log);
    EXPECT_EQ(HighwaterDateText(c.time), c.highwater);
    EXPECT_EQ(StartTimeText(c.time), c.start);
  }
}

TEST(DatesTest, UtcDateAndLocalStampComeFromOneReadingInTheirOwnZones) {
  // 23:30 local on New Year's Eve, five hours behind UTC: UTC is already in the new year.
  ManualClock clock({2027, 1, 1, 4, 30, 0}, -5 * 60);
  WallTime now = clock.Now();
  EXPECT_EQ(EnglishDate(now.utc), "01-Jan-2027");
  EXPECT_EQ(LoginTimeStamp(now.utc), "01-Jan-2027 0430Z");
  EXPECT_EQ(ErrorLogStamp(now.local), "31-12-2026 2330Z");
  EXPECT_EQ(HighwaterDateText(now.local), "31-Dec-2026  23:30");

  // Half an hour later local time reaches the new year too.
  clock.AdvanceMs(30 * 60 * 1000);
  EXPECT_EQ(ErrorLogStamp(clock.Now().local), "01-01-2027 0000Z");

  // East of UTC, across a leap day.
  ManualClock east({2028, 2, 28, 22, 15, 0}, 2 * 60);
  now = east.Now();
  EXPECT_EQ(EnglishDate(now.utc), "28-Feb-2028");
  EXPECT_EQ(StartTimeText(now.local), "2028-02-29 00:15:00");
}

}  // namespace
}  // namespace velgate
