// ReadFix and WriteFix: Velgate.cfg and highwater.dat between the folder and the settings.

#include "app/SettingsStore.h"

#include <algorithm>
#include <cmath>

#include "app/ConfigFile.h"
#include "codec/MonitorMessages.h"
#include "platform/NumberText.h"
#include "protection/HighwaterFile.h"
#include "protection/LockOutEditor.h"

namespace velgate {

SettingsStore::SettingsStore(const ProgramFolder& folder, ErrorLogFile& error_log,
                             SavedFiles& saved_files, ViewModel& view, MonitorFeed& monitor)
    : folder_(folder),
      error_log_(error_log),
      saved_files_(saved_files),
      view_(view),
      monitor_(monitor) {}

void SettingsStore::ReadFix() {
  settings_ = Settings{};
  ConfigReadResult read;
  try {
    std::optional<std::string> bytes = ReadWholeFile(folder_.File("Velgate.cfg"));
    if (bytes) read = ReadConfigRecords(*bytes, settings_);
  } catch (const RunTimeError& error) {
    ReadFixFailed(error, "", "");
    KeepUnreadableFile("Velgate.cfg", error);
    config_kept_ = true;
  }
  // One bad record costs only itself; the records after it were still read.
  for (const ConfigRecordFailure& failure : read.failures) {
    ReadFixFailed(failure.error, failure.key, failure.value);
  }
  FinishConfigReading(settings_);
  if (settings_.HasEmptyLockOut()) Warn("ReadFix", kEmptyLockOutWarning);
  ReadHighwaterFile(read.last_key, read.last_value);
  AddBridgePortEntry(settings_);
  lock_outs_in_file_ = settings_.LockOutCount;
}

void SettingsStore::KeepUnreadableFile(const std::string& name, const RunTimeError& error) {
  const std::string text = name + " cannot be read (" + error.Description() +
                           "): the gateway runs without it and leaves it as it is";
  error_log_.Write("ReadFix", text);
  view_.Report("error: " + text);
  view_.Alert("Velgate", text);
}

void SettingsStore::Warn(const std::string& where, const std::string& text) {
  error_log_.Write(where, text);
  view_.Report("warning: " + text);
}

void SettingsStore::ReadFixFailed(const RunTimeError& error, const std::string& key,
                                  const std::string& value) {
  view_.UpdateLabels([&](MainLabels& labels) {
    labels.txtError =
        "Error Nr " + PlainNumber(error.Number()) + " \"Read Fix\" " + error.Description();
  });
  error_log_.Write("ReadFix", key + " " + value);
}

void SettingsStore::ReadHighwaterFile(const std::string& last_key, const std::string& last_value) {
  std::optional<std::string> bytes;
  try {
    bytes = ReadWholeFile(folder_.File("highwater.dat"));
    if (!bytes) return;
    marks_.AllTimeHigh = ReadHighwaterCount(*bytes);
  } catch (const RunTimeError& error) {
    ReadFixFailed(error, last_key, last_value);
    KeepUnreadableFile("highwater.dat", error);
    marks_.FileKept = true;
    return;
  }
  const std::string count = SignedBlankNumber(marks_.AllTimeHigh);
  marks_.AllTimeHighDate = ReadHighwaterDate(*bytes);
  view_.UpdateLabels([&](MainLabels& labels) {
    labels.Label4 = count;
    labels.Label5Tip = marks_.AllTimeHighDate.empty()
                           ? "All-Time Highwater Mark. "
                           : "All-Time Highwater Mark (" + marks_.AllTimeHighDate + ")";
  });
  monitor_.SendToMonitor(monitor_messages::AllTimeHigh(marks_.AllTimeHigh, marks_.AllTimeHighDate));
}

bool SettingsStore::WriteFix() {
  if (config_kept_) {
    saved_files_.Refused("Velgate.cfg", "it could not be read at start: left as it is");
    return false;
  }
  if (!saved_files_.Write(folder_.File("Velgate.cfg"), "Velgate.cfg", WriteConfigText(Written()),
                          "WriteFix ")) {
    return false;
  }
  lock_outs_in_file_ = settings_.LockOutCount;
  return true;
}

bool SettingsStore::SaveConfigForm(const ConfigForm& form) {
  try {
    ApplyConfigForm(form, settings_);
  } catch (const RunTimeError&) {
    error_log_.Write("cmdCluster", "1");
    return false;
  }
  // The form's ports are the newest word on them, over what a reload found in the file.
  restart_settings_.reset();
  WriteFix();
  return true;
}

bool SettingsStore::SaveLockOuts(const std::vector<std::string>& rows, int loaded_count,
                                 const WindowPlacement& window) {
  // Callers refused while the window was open were appended after the entries it loaded; they
  // have no row, and a Save must not drop them.
  std::vector<std::string> list = rows;
  for (std::int32_t i = std::max(loaded_count, 0) + 1; i <= settings_.LockOutCount; ++i)
    list.push_back(settings_.LockOuts.at(static_cast<std::size_t>(i)));
  StoreLockOuts(list, settings_);
  StoreLockOutPlacement(window);
  return WriteFix();
}

void SettingsStore::StoreLockOutPlacement(const WindowPlacement& window) {
  settings_.LockOutsTop = static_cast<std::int32_t>(std::lround(window.top));
  settings_.LockOutsLeft = static_cast<std::int32_t>(std::lround(window.left));
  settings_.LockOutsHeight = static_cast<std::int32_t>(std::lround(window.height));
  settings_.LockOutsWidth = static_cast<std::int32_t>(std::lround(window.width));
}

void SettingsStore::ResetWindowPlacements() {
  settings_.MainWindow = WindowPlacement{0, 0, 4000, 4000};
  settings_.LockOutsTop = 0;
  settings_.LockOutsLeft = 0;
  settings_.LockOutsHeight = 4000;
  settings_.LockOutsWidth = 4000;
  settings_.CfgLeft = 0;
  settings_.CfgTop = 0;
  WriteFix();
}

}  // namespace velgate
