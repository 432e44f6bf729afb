#include "base/ErrorLog.h"

#include <cstdint>

#include "base/Dates.h"
#include "platform/ProgramFolder.h"
#include "platform/RunTimeError.h"

namespace velgate {

std::string ErrorLogLine(const DateTime& local, std::string_view where, std::string_view text) {
  std::string line = "\"";
  line += ErrorLogStamp(local);
  line += ' ';
  line += where;
  line += ' ';
  line += text;
  line += "\"\r\n";
  return line;
}

ErrorLogFile::ErrorLogFile(std::string path, const Clock& clock, Alert alert)
    : path_(std::move(path)), clock_(clock), alert_(std::move(alert)) {}

ErrorLogFile::~ErrorLogFile() {
  ReportLeftOut(INT64_MAX);
}

void ErrorLogFile::Write(std::string_view where, std::string_view text) {
  const std::int64_t second = clock_.SteadyMs() / 1000;
  ReportLeftOut(second);
  auto found = places_.find(std::string(where));
  if (found == places_.end()) {
    // The places are the program's own where-texts; a bound keeps a surprise from growing it.
    if (places_.size() >= 256) places_.clear();
    found = places_.emplace(std::string(where), PlaceCount{}).first;
  }
  PlaceCount& place = found->second;
  if (place.second != second) {
    place.second = second;
    place.written = 0;
  }
  if (place.written >= kLinesPerSecond) {
    ++place.left_out;
    return;
  }
  ++place.written;
  Append(where, text);
}

void ErrorLogFile::ReportLeftOut(std::int64_t before_second) {
  for (auto& [where, place] : places_) {
    if (place.left_out == 0 || place.second >= before_second) continue;
    const std::int64_t left_out = place.left_out;
    place.left_out = 0;
    Append(where, std::to_string(left_out) + " more lines like this left out");
  }
}

void ErrorLogFile::Append(std::string_view where, std::string_view text) {
  std::string line = ErrorLogLine(clock_.Now().local, where, text);
  try {
    last_line_.assign(line, 0, line.find_last_not_of("\r\n") + 1);
    AppendToFile(path_, line);
    failing_ = false;
  } catch (const RunTimeError& error) {
    // The operator hears of it once, not once a line, until the log can be written again.
    if (alert_ && !failing_) alert_(error.Description());
    failing_ = true;
  }
}

}  // namespace velgate
