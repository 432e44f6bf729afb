#pragma once
// The gateway: owns every part and wires them; everything runs on the one thread of its
// io_context and every handler runs to its end. A close by the operator writes the settings
// first; any other close (a signal, the cluster's order) writes nothing. Its operational log
// goes to the sink the program sets; a service manager, when there is one, hears of its state.

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <functional>
#include <string>

#include "app/ServiceReport.h"
#include "app/SettingsStore.h"
#include "app/StartUp.h"
#include "app/SummaryReport.h"
#include "app/WindowActions.h"
#include "base/OperationsLog.h"
#include "link/ClusterLink.h"
#include "model/SavedFiles.h"
#include "monitor/MonitorPort.h"
#include "platform/ServiceNotify.h"
#include "protection/DescriptorGuard.h"
#include "protection/Highwater.h"
#include "protection/ListenerWatchdog.h"
#include "protection/LockOutEditor.h"
#include "streams/UserStreams.h"

namespace velgate {

struct GatewayOptions {
  /// The program's folder: Velgate.cfg, highwater.dat and error.log live there.
  std::string folder = ".";
  /// Whether start-up raises the process priority (a test process keeps its own).
  bool raise_priority = true;
  /// The service manager to tell of the gateway's state; null when there is none.
  ServiceNotify* service = nullptr;
};

class Gateway final : public WindowActions {
 public:
  Gateway(asio::io_context& io, const Clock& clock, TimerQueue& timers,
          const GatewayOptions& options);
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;
  ~Gateway();

  /// Start-up: settings, listeners and table; continues by itself after the 250 ms pause.
  void FormLoad();
  /// A close that is not the operator's (a signal, the cluster's order): nothing is written.
  void CloseByProgram();
  /// The close a signal asks for, told in the operational log first.
  void CloseOnSignal(int signal);
  /// SIGTERM and SIGINT close the gateway (CloseOnSignal); SIGHUP reloads its settings, as
  /// often as it comes.
  void WatchSignals(asio::signal_set& signal_set);
  /// The program's folder, absolute.
  const std::string& Folder() const { return folder_.Path(); }
  /// Called (from the loop) once the gateway has shut down.
  void SetShutdownHandler(std::function<void()> handler) { shutdown_handler_ = std::move(handler); }
  /// Whether the gateway has shut down.
  bool IsShutDown() const { return unloaded_; }
  /// What was not saved when the gateway ended, and why: after a quit, what its save of the
  /// settings could not write; after SIGTERM or SIGINT, which write nothing, every file whose
  /// last write had failed. Empty when all was saved; the program then exits with status 1.
  const std::string& UnsavedAtEnd() const { return unsaved_at_end_; }

  StreamRange ConsoleStreams() const override;
  bool ConsoleEnter(int s, std::string_view text) override;
  void DisconnectCluster() override { link_.Disconnect(); }
  void CloseByUser() override;
  ActionResult Kick(int s) override;
  std::vector<std::string> LockOutList() const override;
  ActionResult AddLockOut(std::string_view prefix) override;
  ActionResult DeleteLockOut(std::string_view prefix) override;
  ReloadReport Reload() override;
  GatewayStatus Status() const override;
  std::vector<StreamStatus> ConnectedStreams() const override;

  Settings SettingsCopy() const override { return store_.Current(); }
  void SetCallText(int s, std::string text) override;
  void PlaceMainWindow(const WindowPlacement& placement) override;
  void WriteSettings() override { store_.WriteFix(); }
  void EndProgram() override { Unload(); }
  void StartAction() override { start_up_.StartAction(); }
  bool SaveConfigForm(const ConfigForm& form) override { return store_.SaveConfigForm(form); }
  void SaveLockOuts(const std::vector<std::string>& rows, int loaded_count,
                    const WindowPlacement& window) override {
    store_.SaveLockOuts(rows, loaded_count, window);
  }
  void UnloadLockOuts(const WindowPlacement& window) override;
  void ResetScreens() override { store_.ResetWindowPlacements(); }

  /// The parts, for views and tests to read.
  ViewModel& View() { return view_; }
  /// The operational log: the program sets its sink.
  OperationsLog& Log() { return oplog_; }
  const Settings& CurrentSettings() const { return store_.Current(); }
  const HighwaterMarks& Marks() const { return store_.Marks(); }
  StreamTable& Streams() { return streams_.Table(); }
  UserStreams& Users() { return streams_; }
  ClusterLink& Link() { return link_; }
  MonitorPort& Monitor() { return monitor_port_; }
  DescriptorGuard& Descriptors() { return descriptors_; }
  const StartUp& StartUpSequence() const { return start_up_; }

 private:
  void Unload();
  ActionResult StoreEditedLockOuts(const LockOutEditor& editor, std::string text);
  StreamStatus StreamNow(int s, std::int64_t now_ms, const WallTime& now) const;

  asio::io_context& io_;
  const Clock& clock_;
  std::int64_t started_ms_ = 0;
  ProgramFolder folder_;
  ViewModel view_;
  OperationsLog oplog_;
  ErrorLogFile error_log_;
  SavedFiles saved_files_;
  DescriptorGuard descriptors_;
  MonitorFeed feed_;
  SettingsStore store_;
  DateTime start_time_;
  std::string local_ip_;
  Highwater highwater_;
  ListenerWatchdog watchdog_;
  UserStreams streams_;
  ClusterLink link_;
  MonitorPort monitor_port_;
  StartUp start_up_;
  SummaryReport summary_;
  ServiceReport service_;
  bool unloaded_ = false;
  std::string unsaved_at_end_;
  std::function<void()> shutdown_handler_;
};

}  // namespace velgate
