#pragma once
// The highwater marks: the users logged in, the session's highest count and the all-time highest
// count, which highwater.dat keeps across starts. Each mark carries the local date it was reached.

#include <cstdint>
#include <string>

#include "model/HighwaterMarks.h"
#include "model/MonitorFeed.h"
#include "model/SavedFiles.h"
#include "model/ViewModel.h"
#include "platform/Clock.h"

namespace velgate {

class Highwater {
 public:
  Highwater(HighwaterMarks& marks, ViewModel& view, MonitorFeed& monitor, const Clock& clock,
            SavedFiles& saved_files, std::string file_path);

  /// Takes the number of logged-in users before a connection request.
  void UpdateHighwater(std::int32_t users);

 private:
  HighwaterMarks& marks_;
  ViewModel& view_;
  MonitorFeed& monitor_;
  const Clock& clock_;
  SavedFiles& saved_files_;
  std::string file_path_;
};

}  // namespace velgate
