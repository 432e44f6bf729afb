#pragma once
// The users counted for the highwater marks: the last count, the session mark and the all-time
// mark, each with the date it was reached.

#include <cstdint>
#include <string>

namespace velgate {

struct HighwaterMarks {
  std::int32_t LastUserCount = 0;
  std::int32_t SessionHigh = 0;
  std::string SessionHighDate;
  std::int32_t AllTimeHigh = 0;
  std::string AllTimeHighDate;
  /// highwater.dat exists but could not be read: it is left as it is for the whole run.
  bool FileKept = false;
};

}  // namespace velgate
