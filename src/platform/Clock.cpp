#include "platform/Clock.h"

#include <chrono>
#include <ctime>

namespace velgate {
namespace {

DateTime FromTm(const std::tm& tm) {
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

std::int64_t SecondsSinceEpoch(const DateTime& utc) {
  using namespace std::chrono;
  const sys_days date = year{utc.year} / utc.month / utc.day;
  const seconds time = hours{utc.hour} + minutes{utc.minute} + seconds{utc.second};
  return (date.time_since_epoch() + time).count();
}

DateTime DateTimeFromSeconds(std::int64_t since_epoch) {
  using namespace std::chrono;
  const sys_seconds moment{seconds{since_epoch}};
  const sys_days day = floor<days>(moment);
  const year_month_day date{day};
  const hh_mm_ss time{moment - day};
  return DateTime{static_cast<int>(date.year()),
                  static_cast<int>(static_cast<unsigned>(date.month())),
                  static_cast<int>(static_cast<unsigned>(date.day())),
                  static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count())};
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
