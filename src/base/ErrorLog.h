#pragma once
// error.log: one quoted line per trapped failure, appended, "dd-mm-yyyy HHnnZ where text".
// When the file cannot be written the entry is lost and the operator is told, never waited on.

#include <functional>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace velgate {

/// The line as appended: quote, stamp, blank, where, blank, text, quote, CR LF.
std::string ErrorLogLine(const DateTime& local, std::string_view where, std::string_view text);

class ErrorLogFile {
 public:
  using Alert = std::function<void(const std::string& description)>;

  /// path: the error.log file; alert: tells the operator when an entry cannot be written.
  ErrorLogFile(std::string path, const Clock& clock, Alert alert);

  /// Appends one entry.
  void Write(std::string_view where, std::string_view text);
  /// The file's path.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  const Clock& clock_;
  Alert alert_;
};

}  // namespace velgate
