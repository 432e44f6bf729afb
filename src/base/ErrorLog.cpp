#include "base/ErrorLog.h"

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

void ErrorLogFile::Write(std::string_view where, std::string_view text) {
  try {
    AppendToFile(path_, ErrorLogLine(clock_.Now().local, where, text));
  } catch (const RunTimeError& error) {
    if (alert_) alert_(error.Description());
  }
}

}  // namespace velgate
