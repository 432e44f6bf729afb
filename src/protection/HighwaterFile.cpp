#include "protection/HighwaterFile.h"

#include <vector>

#include "platform/NumberText.h"
#include "platform/RecordFile.h"
#include "platform/RunTimeError.h"

namespace velgate {
namespace {

std::vector<std::string> FirstRecord(std::string_view bytes) {
  for (std::string_view line : SplitRecordLines(bytes)) {
    if (line.find_first_not_of(" \t") != std::string_view::npos) return ParseRecordFields(line);
  }
  return {};
}

}  // namespace

std::int32_t ReadHighwaterCount(std::string_view bytes) {
  std::vector<std::string> fields = FirstRecord(bytes);
  if (fields.empty()) throw RunTimeError(62, "Input past end of file");
  return TextToInteger32(fields[0]);
}

std::string ReadHighwaterDate(std::string_view bytes) {
  std::vector<std::string> fields = FirstRecord(bytes);
  return fields.size() > 1 ? fields[1] : std::string();
}

std::string HighwaterFileText(const HighwaterRecord& record) {
  return PlainNumber(record.count) + "," + Quoted(record.date) + "\r\n";
}

}  // namespace velgate
