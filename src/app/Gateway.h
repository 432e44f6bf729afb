#pragma once
// The gateway: the object that owns every socket, timer and table and holds the view model.
// Everything runs on the one thread of its io_context; every handler runs to its end.
//
//   FormLoad ── settings read and rewritten ── table grown ── 250 ms ──> monitor listener
//            └─ start action ── StartTelnet: user, bridge and cluster listeners
//   Timer4 (60 s) ── Timer5 (5 s) ── StartTelnet, when start-up never reached the start action
//   CloseByUser: settings written, then Unload │ CloseByProgram: Unload, nothing written

#include <asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/ErrorLog.h"
#include "app/Settings.h"
#include "app/Version.h"
#include "link/ClusterDispatch.h"
#include "link/ClusterLink.h"
#include "monitor/MonitorFeed.h"
#include "monitor/MonitorPort.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"
#include "protection/Highwater.h"
#include "protection/HighwaterMarks.h"
#include "protection/ListenerWatchdog.h"
#include "streams/StreamTable.h"
#include "streams/UserStreams.h"
#include "ui/ViewModel.h"

namespace velgate {

struct GatewayOptions {
  /// The program's folder: Velgate.cfg, highwater.dat and error.log live there.
  std::string folder = ".";
  /// Whether start-up raises the process priority (a test process keeps its own).
  bool raise_priority = true;
};

class Gateway {
 public:
  Gateway(asio::io_context& io, const Clock& clock, TimerQueue& timers, GatewayOptions options);
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;
  ~Gateway();

  /// Start-up: settings, listeners and table; continues by itself after the 250 ms pause.
  void FormLoad();
  /// The "Start" action: stops the delayed start and opens the listeners.
  void StartAction();
  /// Opens the user, bridge and cluster listeners that are not listening yet.
  void StartTelnet();
  /// The operator's line for stream s, as Enter in its call-sign field sends it.
  void ConsoleEnter(int s, std::string_view text);
  /// The operator closes the window and confirms: settings written, then shut down.
  void CloseByUser();
  /// A close that is not the operator's (a signal, the cluster's order): nothing is written.
  void CloseByProgram();
  /// Called (from the loop) once the gateway has shut down.
  void SetShutdownHandler(std::function<void()> handler) { shutdown_handler_ = std::move(handler); }
  /// Whether the gateway has shut down.
  bool IsShutDown() const { return unloaded_; }

  /// Appends one entry to error.log.
  void ErrorLog(std::string_view where, std::string_view text) { error_log_.Write(where, text); }
  /// Queues a monitor message; dropped unless a monitor client is connected.
  void SendToMonitor(std::string_view text) { monitor_feed_.SendToMonitor(text); }
  /// Paints the window and its status labels in one colour.
  void SetStatusColour(Colour colour);

  const Settings& CurrentSettings() const { return settings_; }
  ViewModel& View() { return view_; }
  StreamTable& Streams() { return streams_.Table(); }
  UserStreams& Users() { return streams_; }
  ClusterLink& Link() { return link_; }
  MonitorFeed& Monitor() { return monitor_feed_; }
  TcpSocket& VelgateCluster() { return link_.Socket(); }
  TcpSocket& VelgateMonitor() { return monitor_port_.Socket(); }
  MonitorPort& Monitors() { return monitor_port_; }
  ListenerWatchdog& Watchdog() { return watchdog_; }
  const ProgramFolder& Folder() const { return folder_; }
  const HighwaterMarks& Marks() const { return marks_; }
  const DateTime& StartTime() const { return start_time_; }
  /// The machine's address as the status texts show it.
  const std::string& LocalIP() const { return local_ip_; }
  /// The delayed-start timers, for the views and tests.
  const Timer& Timer4() const { return timer4_; }
  const Timer& Timer5() const { return timer5_; }
  /// The watchdog timer of listener i.
  const Timer& tmrDOS(int i) const { return watchdog_.tmrDOS(i); }

 private:
  // Start-up and the delayed start.
  void FormLoadAfterPause();
  void FormLoadFailed(const RunTimeError& error);
  void CreateListenerIndicators();
  void TimeDelay250(std::function<void()> continuation);
  void Timer2Tick();
  void Timer4Tick();
  void Timer5Tick();
  void OpenListener(int i);

  ClusterLink::Hooks LinkHooks();

  // Settings and marks.
  void ReadFix();
  void ReadFixFailed(const RunTimeError& error, const std::string& key, const std::string& value);
  void ReadHighwaterFile(const std::string& last_key, const std::string& last_value);
  void WriteFix();

  // Shutdown.
  void Unload();

  asio::io_context& io_;
  const Clock& clock_;
  GatewayOptions options_;
  ProgramFolder folder_;
  ErrorLogFile error_log_;
  ViewModel view_;
  Settings settings_;
  HighwaterMarks marks_;
  DateTime start_time_;
  std::string local_ip_;

  MonitorFeed monitor_feed_;
  Highwater highwater_;
  UserStreams streams_;
  ClusterLink link_;
  ClusterDispatch dispatch_;
  ListenerWatchdog watchdog_;
  MonitorPort monitor_port_;

  Timer timer2_;
  Timer timer4_;
  Timer timer5_;
  std::function<void()> after_pause_;

  bool unloaded_ = false;
  std::function<void()> shutdown_handler_;
};

}  // namespace velgate
