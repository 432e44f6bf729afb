// Reload: Velgate.cfg read again while the gateway runs, taking only what is safe to take.

#include <algorithm>
#include <set>
#include <type_traits>

#include "app/ConfigFile.h"
#include "app/SettingsStore.h"
#include "platform/NumberText.h"
#include "platform/RecordFile.h"

namespace velgate {
namespace {

bool Touched(const std::vector<std::string>& bad_keys, std::initializer_list<const char*> keys) {
  return std::any_of(keys.begin(), keys.end(), [&](const char* key) {
    return std::find(bad_keys.begin(), bad_keys.end(), key) != bad_keys.end();
  });
}

std::vector<std::string> UserPortList(const Settings& settings) {
  std::vector<std::string> ports;
  for (std::int32_t i = 1; i <= settings.UserPortCount; ++i) ports.push_back(settings.UserPort(i));
  return ports;
}

std::string Counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "LockOuts: 2 added, 1 removed (12 entries)"; nothing when the list is the same.
void TellListChange(const char* name, const std::vector<std::string>& before,
                    const std::vector<std::string>& after, ReloadReport& report) {
  if (before == after) return;
  const std::set<std::string> old_entries(before.begin(), before.end());
  const std::set<std::string> new_entries(after.begin(), after.end());
  std::size_t added = 0;
  std::size_t removed = 0;
  for (const std::string& entry : new_entries) added += old_entries.count(entry) == 0;
  for (const std::string& entry : old_entries) removed += new_entries.count(entry) == 0;
  report.changed.push_back(std::string(name) + ": " + std::to_string(added) + " added, " +
                           std::to_string(removed) + " removed (" +
                           Counted(after.size(), "entry", "entries") + ")");
}

void TellRestart(const std::string& what, ReloadReport& report) {
  report.restart.push_back(what + ": takes effect at restart");
}

template <typename Value>
void CompareForRestart(const char* key, const Value& running, const Value& fresh,
                       ReloadReport& report) {
  if (running == fresh) return;
  const auto text = [](const Value& value) {
    if constexpr (std::is_arithmetic_v<Value>) {
      return PlainNumber(value);
    } else {
      return std::string(value);
    }
  };
  TellRestart(std::string(key) + " " + text(fresh) + " (now " + text(running) + ")", report);
}

// A number the running gateway reads again later: taken, and told when it changed.
template <typename Number>
void TakeNumber(const char* key, Number fresh, Number& running, ReloadReport& report) {
  if (fresh == running) return;
  report.changed.push_back(std::string(key) + " " + PlainNumber(fresh) + " (was " +
                           PlainNumber(running) + ")");
  running = fresh;
}

}  // namespace

ReloadReport SettingsStore::Reload() {
  ReloadReport report;
  std::optional<std::string> bytes;
  try {
    bytes = ReadWholeFile(folder_.File("Velgate.cfg"));
    if (!bytes) report.error = "Velgate.cfg does not exist: nothing changed";
  } catch (const RunTimeError& error) {
    report.error = "Velgate.cfg cannot be read (" + error.Description() + "): nothing changed";
  }
  if (!bytes) {
    error_log_.Write("Reload", report.error);
    return report;
  }
  // A file that could not be read at start, and can now, is the operator's to be written again.
  config_kept_ = false;
  report.read = true;
  Settings fresh;
  const ConfigReadResult read = ReadConfigRecords(*bytes, fresh);
  FinishConfigReading(fresh);
  AddBridgePortEntry(fresh);
  std::vector<std::string> bad_keys;
  for (const ConfigRecordFailure& failure : read.failures) {
    bad_keys.push_back(failure.key);
    report.skipped.push_back(Quoted(failure.key) + "," + failure.value + " (" +
                             failure.error.Description() + ")");
    error_log_.Write("Reload", failure.key + " " + failure.value);
  }
  if (!Touched(bad_keys, {"Locked Out"})) TakeLockOuts(fresh, report);
  if (!Touched(bad_keys, {"ClusterAllow"})) {
    TellListChange("ClusterAllow", settings_.ClusterAllow, fresh.ClusterAllow, report);
    settings_.ClusterAllow = fresh.ClusterAllow;
  }
  if (!Touched(bad_keys, {"MonitorAllow"})) {
    TellListChange("MonitorAllow", settings_.MonitorAllow, fresh.MonitorAllow, report);
    settings_.MonitorAllow = fresh.MonitorAllow;
  }
  if (!Touched(bad_keys, {"PreLoad"}))
    TakeNumber("PreLoad", fresh.PreLoad, settings_.PreLoad, report);
  if (!Touched(bad_keys, {"KeepAlive"}))
    TakeNumber("KeepAlive", fresh.KeepAlive, settings_.KeepAlive, report);
  if (!Touched(bad_keys, {"RateLimit"}))
    TakeNumber("RateLimit", fresh.RateLimit, settings_.RateLimit, report);
  if (!Touched(bad_keys, {"RateWindow"}))
    TakeNumber("RateWindow", fresh.RateWindow, settings_.RateWindow, report);
  TakeDialogPlaces(fresh, bad_keys);
  TakeRestartSettings(fresh, bad_keys, report);
  if (settings_.HasEmptyLockOut()) Warn("Reload", kEmptyLockOutWarning);
  return report;
}

void SettingsStore::TakeLockOuts(const Settings& fresh, ReloadReport& report) {
  const std::vector<std::string> before(settings_.LockOuts.begin() + 1,
                                        settings_.LockOuts.begin() + settings_.LockOutCount + 1);
  std::vector<std::string> after(fresh.LockOuts.begin() + 1,
                                 fresh.LockOuts.begin() + fresh.LockOutCount + 1);
  // Callers locked out since the file was last read or written are not in it yet: they stay.
  for (std::int32_t i = lock_outs_in_file_ + 1; i <= settings_.LockOutCount; ++i) {
    const std::string& learned = settings_.LockOuts[static_cast<std::size_t>(i)];
    if (fresh.LockOutPosition(learned) == 0) after.push_back(learned);
  }
  TellListChange("LockOuts", before, after, report);
  settings_.ClearLockOuts();
  for (const std::string& entry : after) settings_.AddLockOut(entry);
  lock_outs_in_file_ = fresh.LockOutCount;
}

void SettingsStore::TakeDialogPlaces(const Settings& fresh,
                                     const std::vector<std::string>& bad_keys) {
  // The dialog windows read their places when they open; the main window's is where it is.
  if (Touched(bad_keys, {"Cfg Left", "Cfg Top"}) ||
      Touched(bad_keys, {"LockOuts Top", "LockOuts Left", "LockOuts Height", "LockOuts Width"}))
    return;
  settings_.CfgLeft = fresh.CfgLeft;
  settings_.CfgTop = fresh.CfgTop;
  settings_.LockOutsTop = fresh.LockOutsTop;
  settings_.LockOutsLeft = fresh.LockOutsLeft;
  settings_.LockOutsHeight = fresh.LockOutsHeight;
  settings_.LockOutsWidth = fresh.LockOutsWidth;
}

void SettingsStore::TakeRestartSettings(const Settings& fresh,
                                        const std::vector<std::string>& bad_keys,
                                        ReloadReport& report) {
  // Ports and the bridge shape the listeners and the stream numbers: never changed while
  // running. What the file says now is told, and written back in place of the running values.
  Settings pending = restart_settings_.value_or(settings_);
  if (!Touched(bad_keys, {"UserPort", "LocalPort", "ListeningPort"})) {
    const std::vector<std::string> running = UserPortList(settings_);
    const std::vector<std::string> wanted = UserPortList(fresh);
    for (const std::string& port : wanted)
      if (std::find(running.begin(), running.end(), port) == running.end())
        TellRestart("UserPort " + port + " added", report);
    for (const std::string& port : running)
      if (std::find(wanted.begin(), wanted.end(), port) == wanted.end())
        TellRestart("UserPort " + port + " removed", report);
    pending.UserPorts = fresh.UserPorts;
    pending.UserPortCount = fresh.UserPortCount;
  }
  if (!Touched(bad_keys, {"ClusterPort", "RemotePort", "ZQC port"})) {
    CompareForRestart("ClusterPort", settings_.ClusterPort, fresh.ClusterPort, report);
    pending.ClusterPort = fresh.ClusterPort;
  }
  if (!Touched(bad_keys, {"AGWenabled"})) {
    CompareForRestart("AGWenabled", settings_.AGWEnabled, fresh.AGWEnabled, report);
    pending.AGWEnabled = fresh.AGWEnabled;
  }
  if (!Touched(bad_keys, {"AGWport"})) {
    CompareForRestart("AGWport", settings_.AGWPort, fresh.AGWPort, report);
    pending.AGWPort = fresh.AGWPort;
  }
  if (!Touched(bad_keys, {"MonitorPort"})) {
    CompareForRestart("MonitorPort", settings_.MonitorPort, fresh.MonitorPort, report);
    pending.MonitorPort = fresh.MonitorPort;
  }
  if (!Touched(bad_keys, {"ListenAddress"})) {
    if (fresh.ListenAddress != settings_.ListenAddress) TellRestart("ListenAddress", report);
    pending.ListenAddress = fresh.ListenAddress;
  }
  restart_settings_ = std::move(pending);
}

Settings SettingsStore::Written() const {
  if (!restart_settings_) return settings_;
  Settings written = settings_;
  written.UserPorts = restart_settings_->UserPorts;
  written.UserPortCount = restart_settings_->UserPortCount;
  written.ClusterPort = restart_settings_->ClusterPort;
  written.AGWEnabled = restart_settings_->AGWEnabled;
  written.AGWPort = restart_settings_->AGWPort;
  written.MonitorPort = restart_settings_->MonitorPort;
  written.ListenAddress = restart_settings_->ListenAddress;
  return written;
}

}  // namespace velgate
