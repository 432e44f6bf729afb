#include "model/SavedFiles.h"

#include <algorithm>

#include "platform/ProgramFolder.h"
#include "platform/RunTimeError.h"

namespace velgate {

bool SavedFiles::Write(const std::string& path, const std::string& name, std::string_view text,
                       std::string_view where) {
  try {
    if (IsReadOnlyFile(path)) {
      if (ReadWholeFile(path) == text) {
        Saved(name);
        return true;
      }
      Failed(name, "the file is read-only: the gateway leaves it as it is", where);
      return false;
    }
    WriteFileReplacing(path, text);
  } catch (const RunTimeError& error) {
    Failed(name, error.Description(), where);
    return false;
  }
  Saved(name);
  return true;
}

void SavedFiles::Refused(const std::string& name, const std::string& why) {
  Failed(name, why, "");
}

std::string SavedFiles::Unsaved() const {
  std::string text;
  for (const Failure& failure : failures_) {
    if (!text.empty()) text += "; ";
    text += failure.name + " (" + failure.why + ")";
  }
  return text;
}

void SavedFiles::Failed(const std::string& name, const std::string& why, std::string_view where) {
  if (!where.empty()) error_log_.Write(where, why);
  const auto known = std::ranges::find(failures_, name, &Failure::name);
  if (known != failures_.end()) {
    known->why = why;
    return;
  }
  failures_.push_back({name, why});
  oplog_.Record(oplog::SaveFailed{name, why});
  view_.Alert("Velgate", name + " could not be saved: " + why);
}

void SavedFiles::Saved(const std::string& name) {
  std::erase_if(failures_, [&](const Failure& failure) { return failure.name == name; });
}

}  // namespace velgate
