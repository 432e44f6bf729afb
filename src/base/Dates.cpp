#include "base/Dates.h"

#include <cstdio>

namespace velgate {

const std::array<const char*, 13> MonthNames = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

const char* MonthName(int month) {
  return month >= 1 && month <= 12 ? MonthNames[static_cast<std::size_t>(month)] : "";
}

}  // namespace

std::string EnglishDate(const DateTime& utc) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d-%s-%04d", utc.day, MonthName(utc.month), utc.year);
  return text;
}

std::string LoginTimeStamp(const DateTime& utc) {
  char text[16];
  std::snprintf(text, sizeof text, " %02d%02dZ", utc.hour, utc.minute);
  return EnglishDate(utc) + text;
}

std::string ErrorLogStamp(const DateTime& local) {
  char text[40];
  std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d%02dZ", local.day, local.month, local.year,
                local.hour, local.minute);
  return text;
}

std::string HighwaterDateText(const DateTime& local) {
  char text[16];
  std::snprintf(text, sizeof text, "  %02d:%02d", local.hour, local.minute);
  return EnglishDate(local) + text;
}

std::string StartTimeText(const DateTime& local) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.year, local.month,
                local.day, local.hour, local.minute, local.second);
  return text;
}

}  // namespace velgate
