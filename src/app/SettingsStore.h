#pragma once
// The settings store: Velgate.cfg and highwater.dat between the program's folder and the
// settings and marks the gateway runs on (ReadFix, WriteFix).

#include <string>
#include <vector>

#include <optional>

#include "app/ConfigForm.h"
#include "app/OperatorReports.h"
#include "base/ErrorLog.h"
#include "base/Settings.h"
#include "model/HighwaterMarks.h"
#include "model/MonitorFeed.h"
#include "model/SavedFiles.h"
#include "model/ViewModel.h"
#include "platform/ProgramFolder.h"
#include "platform/RunTimeError.h"

namespace velgate {

class SettingsStore {
 public:
  SettingsStore(const ProgramFolder& folder, ErrorLogFile& error_log, SavedFiles& saved_files,
                ViewModel& view, MonitorFeed& monitor);

  /// Reads Velgate.cfg and the all-time mark from highwater.dat; a bad record costs itself.
  void ReadFix();
  /// Writes the settings to Velgate.cfg in the canonical order; never over a file that existed
  /// and could not be read, nor over a read-only one. False when the settings are not in the
  /// file (told through SavedFiles).
  bool WriteFix();
  /// The configuration window's Save: applies the form and writes the file. A cluster port or
  /// PreLoad that is not a 16-bit number is logged and nothing is written (false).
  bool SaveConfigForm(const ConfigForm& form);
  /// The lock-out editor's Save: its non-blank rows become the lock-out list in force, followed
  /// by the entries added after it loaded the first loaded_count; its place is stored; written
  /// (false when the file was not).
  bool SaveLockOuts(const std::vector<std::string>& rows, int loaded_count,
                    const WindowPlacement& window);
  /// The lock-out window's place, rounded to whole twips.
  void StoreLockOutPlacement(const WindowPlacement& window);
  /// "Reset Screens": every window back to the top-left corner at 4000 by 4000, written.
  void ResetWindowPlacements();

  /// Reads Velgate.cfg again and takes what the running gateway reads again later: the lock-out
  /// list (keeping the entries learned since the file was last read or written), ClusterAllow,
  /// MonitorAllow, PreLoad and the dialog windows' places. What needs a restart (the ports, the
  /// bridge) is reported and kept for the next WriteFix, never applied. A bad record leaves what
  /// it touches as it was; a file that cannot be read changes nothing.
  ReloadReport Reload();

  /// A warning about the settings, in error.log and to the operator.
  void Warn(const std::string& where, const std::string& text);

  /// The settings in force; the rules change some of them as they run (lock-outs).
  Settings& Current() { return settings_; }
  const Settings& Current() const { return settings_; }
  /// The highwater marks.
  HighwaterMarks& Marks() { return marks_; }
  const HighwaterMarks& Marks() const { return marks_; }

 private:
  void ReadFixFailed(const RunTimeError& error, const std::string& key, const std::string& value);
  void ReadHighwaterFile(const std::string& last_key, const std::string& last_value);
  void KeepUnreadableFile(const std::string& name, const RunTimeError& error);
  void TakeLockOuts(const Settings& fresh, ReloadReport& report);
  void TakeRestartSettings(const Settings& fresh, const std::vector<std::string>& bad_keys,
                           ReloadReport& report);
  void TakeDialogPlaces(const Settings& fresh, const std::vector<std::string>& bad_keys);
  Settings Written() const;

  const ProgramFolder& folder_;
  ErrorLogFile& error_log_;
  SavedFiles& saved_files_;
  ViewModel& view_;
  MonitorFeed& monitor_;
  Settings settings_;
  HighwaterMarks marks_;
  // Velgate.cfg exists but could not be read: it is never written this run.
  bool config_kept_ = false;
  // The lock-out entries the file holds: those after them were learned while running.
  std::int32_t lock_outs_in_file_ = 0;
  // What a reload found for the settings that need a restart; WriteFix writes these.
  std::optional<Settings> restart_settings_;
};

}  // namespace velgate
