#pragma once
// error.log: one quoted line per trapped failure, appended, "dd-mm-yyyy HHnnZ where text".
// When the file cannot be written the entry is lost and the operator is told, never waited on.
// A place that fails over and over cannot flood it: past a few lines a second from one place
// the rest are counted, and one line says how many were left out.

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/Clock.h"

namespace velgate {

/// The line as appended: quote, stamp, blank, where, blank, text, quote, CR LF.
std::string ErrorLogLine(const DateTime& local, std::string_view where, std::string_view text);

class ErrorLogFile {
 public:
  using Alert = std::function<void(const std::string& description)>;

  /// path: the error.log file; alert: tells the operator when an entry cannot be written.
  ErrorLogFile(std::string path, const Clock& clock, Alert alert);

  /// The most lines one place writes in a second.
  static constexpr int kLinesPerSecond = 10;

  /// Says how many lines were left out, if any.
  ~ErrorLogFile();
  ErrorLogFile(const ErrorLogFile&) = delete;
  ErrorLogFile& operator=(const ErrorLogFile&) = delete;

  /// Appends one entry, unless its place has written its lines for this second.
  void Write(std::string_view where, std::string_view text);
  /// The file's path.
  const std::string& Path() const { return path_; }
  /// The last line written this run (or meant to be, when the file could not take it), without
  /// its line end; empty when none.
  const std::string& LastLine() const { return last_line_; }

 private:
  struct PlaceCount {
    std::int64_t second = -1;
    int written = 0;
    std::int64_t left_out = 0;
  };

  void Append(std::string_view where, std::string_view text);
  void ReportLeftOut(std::int64_t before_second);

  std::string path_;
  const Clock& clock_;
  Alert alert_;
  std::unordered_map<std::string, PlaceCount> places_;
  bool failing_ = false;
  std::string last_line_;
};

}  // namespace velgate
