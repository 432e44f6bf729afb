#pragma once
// highwater.dat: the all-time mark as one record, the count bare and its date quoted, CR LF.

#include <cstdint>
#include <string>
#include <string_view>

namespace velgate {

struct HighwaterRecord {
  std::int32_t count = 0;
  std::string date;  ///< empty when the file holds only the number
};

/// The record's count; RunTimeError when the file is empty or its first field is not a number.
std::int32_t ReadHighwaterCount(std::string_view bytes);
/// The record's date text, empty when there is none.
std::string ReadHighwaterDate(std::string_view bytes);
/// The file as written when the all-time mark rises.
std::string HighwaterFileText(const HighwaterRecord& record);

}  // namespace velgate
