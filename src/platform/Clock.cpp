#include "platform/Clock.h"

#include <chrono>
#include <ctime>

namespace velgate {
namespace {

// Days since 1970-01-01 for a civil date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

DateTime FromTm(const std::tm& tm) {
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

std::int64_t SecondsSinceEpoch(const DateTime& utc) {
  std::int64_t days =
      DaysFromCivil(utc.year, static_cast<unsigned>(utc.month), static_cast<unsigned>(utc.day));
  return days * 86400 + utc.hour * 3600 + utc.minute * 60 + utc.second;
}

DateTime DateTimeFromSeconds(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from days (Howard Hinnant's algorithm).
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  return DateTime{static_cast<int>(y),
                  static_cast<int>(m),
                  static_cast<int>(d),
                  static_cast<int>(rest / 3600),
                  static_cast<int>(rest % 3600 / 60),
                  static_cast<int>(rest % 60)};
}

std::int64_t SystemClock::SteadyMs() const {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

WallTime SystemClock::Now() const {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  std::tm utc{};
  localtime_r(&now, &local);
  gmtime_r(&now, &utc);
  return WallTime{FromTm(local), FromTm(utc)};
}

ManualClock::ManualClock(DateTime utc_start, int utc_offset_minutes)
    : utc_base_seconds_(SecondsSinceEpoch(utc_start)), utc_offset_minutes_(utc_offset_minutes) {}

WallTime ManualClock::Now() const {
  std::int64_t utc_seconds = utc_base_seconds_ + steady_ms_ / 1000;
  return WallTime{DateTimeFromSeconds(utc_seconds + utc_offset_minutes_ * 60),
                  DateTimeFromSeconds(utc_seconds)};
}

void ManualClock::SetUtc(DateTime utc) {
  utc_base_seconds_ = SecondsSinceEpoch(utc) - steady_ms_ / 1000;
}

}  // namespace velgate
