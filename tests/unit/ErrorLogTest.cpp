#include "app/ErrorLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempFolder.h"
#include "platform/Clock.h"

namespace velgate {
namespace {

TEST(ErrorLogTest, LineIsOneQuotedRecordOfStampWhereAndText) {
  const DateTime at{2026, 12, 4, 14, 5, 0};
  struct Case {
    const char* where;
    const char* text;
    const char* line;
  };
  const Case cases[] = {
      {"Reformat", "", "\"04-12-2026 1405Z Reformat \"\r\n"},  // empty text keeps the blank
      {"ReadFix", "PreLoad abc", "\"04-12-2026 1405Z ReadFix PreLoad abc\"\r\n"},
      {"WriteFix ", "Overflow", "\"04-12-2026 1405Z WriteFix  Overflow\"\r\n"}};
  for (const Case& c : cases) EXPECT_EQ(ErrorLogLine(at, c.where, c.text), c.line) << c.where;
}

TEST(ErrorLogTest, WriteAppendsLinesStampedInLocalTime) {
  velgate::testing::TempFolder folder;
  // 23:30:10 local on 31 Dec 2026, five hours behind UTC.
  ManualClock clock({2027, 1, 1, 4, 30, 10}, -5 * 60);
  std::vector<std::string> alerts;
  ErrorLogFile log(folder.File("error.log"), clock,
                   [&](const std::string& description) { alerts.push_back(description); });

  log.Write("Reformat", "");
  clock.AdvanceMs(40 * 1000);  // same minute: same stamp
  log.Write("Timer4_timer", "Overflow");

  EXPECT_EQ(folder.Read("error.log"),
            "\"31-12-2026 2330Z Reformat \"\r\n"
            "\"31-12-2026 2330Z Timer4_timer Overflow\"\r\n");
  EXPECT_TRUE(alerts.empty());
}

TEST(ErrorLogTest, AnUnwritableLogAlertsTheOperatorAndLosesTheEntry) {
  velgate::testing::TempFolder folder;
  ManualClock clock;
  std::vector<std::string> alerts;
  ErrorLogFile log(folder.File("missing/error.log"), clock,
                   [&](const std::string& description) { alerts.push_back(description); });

  log.Write("Reformat", "");
  log.Write("SendAll", "Overflow");

  ASSERT_EQ(alerts.size(), 2u);
  EXPECT_FALSE(alerts[0].empty());
  EXPECT_FALSE(folder.Exists("missing"));

  ErrorLogFile silent(folder.File("missing/error.log"), clock, nullptr);
  EXPECT_NO_THROW(silent.Write("Reformat", ""));
}

}  // namespace
}  // namespace velgate
