#pragma once
// The date and time texts the gateway writes: error.log stamps, the UTC date of login stamps,
// highwater dates and the start time. Month names are English whatever the system's language.

#include <array>
#include <string>

#include "platform/Clock.h"

namespace velgate {

/// "Jan" .. "Dec" at 1..12; entry 0 is empty.
extern const std::array<const char*, 13> MonthNames;

/// "dd-Mmm-yyyy" of a date, e.g. 04-Dec-2026.
std::string EnglishDate(const DateTime& utc);
/// "dd-Mmm-yyyy hhmmZ", the login time stamp from one UTC reading.
std::string LoginTimeStamp(const DateTime& utc);
/// "dd-mm-yyyy HHnnZ", the stamp that opens an error.log entry (local time).
std::string ErrorLogStamp(const DateTime& local);
/// "dd-Mmm-yyyy  hh:mm" (two blanks), the date of a highwater mark (local time).
std::string HighwaterDateText(const DateTime& local);
/// "yyyy-mm-dd hh:mm:ss", the start time as the cluster is told it.
std::string StartTimeText(const DateTime& local);

}  // namespace velgate
