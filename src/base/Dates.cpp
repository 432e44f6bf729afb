#include "base/Dates.h"

#include <cstdio>

namespace velgate {

const std::array<const char*, 13> MonthNames = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

const char* MonthName(int month) {
  return month >= 1 && month <= 12 ? MonthNames[static_cast<std::size_t>(month)] : "";
}

// One date text, printed; no date text the gateway writes is longer than 40 characters.
template <typename... Numbers>
std::string Printed(const char* format, Numbers... numbers) {
  char text[48];
  std::snprintf(text, sizeof text, format, numbers...);
  return text;
}

}  // namespace

std::string EnglishDate(const DateTime& utc) {
  return Printed("%02d-%s-%04d", utc.day, MonthName(utc.month), utc.year);
}

std::string LoginTimeStamp(const DateTime& utc) {
  return EnglishDate(utc) + Printed(" %02d%02dZ", utc.hour, utc.minute);
}

std::string ErrorLogStamp(const DateTime& local) {
  return Printed("%02d-%02d-%04d %02d%02dZ", local.day, local.month, local.year, local.hour,
                 local.minute);
}

std::string HighwaterDateText(const DateTime& local) {
  return EnglishDate(local) + Printed("  %02d:%02d", local.hour, local.minute);
}

std::string StartTimeText(const DateTime& local) {
  return Printed("%04d-%02d-%02d %02d:%02d:%02d", local.year, local.month, local.day, local.hour,
                 local.minute, local.second);
}

}  // namespace velgate
