#pragma once
// The files the gateway keeps in its folder (Velgate.cfg, highwater.dat), written so that a
// failure is never silent: it goes to the operational log (standard error, even when error.log
// cannot be written either), to error.log, and to the operator's alert, once for each file until
// the file is written again; it stays in Unsaved() for the status the operator asks for.
// A file without write permission is the operator's "leave it alone": it is never replaced.

#include <string>
#include <string_view>
#include <vector>

#include "base/ErrorLog.h"
#include "base/OperationsLog.h"
#include "model/ViewModel.h"

namespace velgate {

class SavedFiles {
 public:
  SavedFiles(ErrorLogFile& error_log, ViewModel& view, OperationsLog& oplog)
      : error_log_(error_log), view_(view), oplog_(oplog) {}

  /// Replaces the file at path (named name in the messages) with text; where: the place error.log
  /// names. A read-only file that already holds text counts as written and is left alone. False
  /// when the text is not in the file.
  bool Write(const std::string& path, const std::string& name, std::string_view text,
             std::string_view where);
  /// The file could not be written for a reason found before writing; told as a failure.
  void Refused(const std::string& name, const std::string& why);
  /// "Velgate.cfg (Permission denied)" for every file whose last write failed, "; " between
  /// them; empty when every file is saved.
  std::string Unsaved() const;

 private:
  struct Failure {
    std::string name;
    std::string why;
  };
  void Failed(const std::string& name, const std::string& why, std::string_view where);
  void Saved(const std::string& name);

  ErrorLogFile& error_log_;
  ViewModel& view_;
  OperationsLog& oplog_;
  std::vector<Failure> failures_;  // one per file, in the order they first failed
};

}  // namespace velgate
