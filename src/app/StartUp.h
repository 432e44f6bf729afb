#pragma once
// Start-up in its order of steps, and the timers that pause it (Timer2) or start the listeners
// when it never got that far (Timer4, Timer5).
//
//   FormLoad ── settings read and rewritten ── table grown ── 250 ms ──> monitor listener
//            └─ start action ── StartTelnet: user, bridge and cluster listeners
//   Timer4 (60 s) ── Timer5 (5 s) ── StartTelnet, when start-up never reached the start action
//
// The operational log has the start, and each port as it opens or fails to.

#include <functional>
#include <string>

#include "app/SettingsStore.h"
#include "link/ClusterLink.h"
#include "monitor/MonitorPort.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/TimerQueue.h"
#include "protection/DescriptorGuard.h"
#include "protection/ListenerWatchdog.h"
#include "streams/StreamTable.h"

namespace velgate {

class StartUp {
 public:
  /// What start-up sets going; every part outlives it.
  struct Parts {
    const Clock& clock;
    const ProgramFolder& folder;
    SettingsStore& store;
    ErrorLogFile& error_log;
    ViewModel& view;
    StreamTable& streams;
    ListenerWatchdog& watchdog;
    ClusterLink& link;
    MonitorPort& monitor;
    DescriptorGuard& descriptors;
    /// Set to the moment start-up ran.
    DateTime& start_time;
    /// The machine's address as the status texts show it.
    const std::string& local_ip;
    OperationsLog& oplog;
    /// Whether start-up raises the process priority (a test process keeps its own).
    bool raise_priority;
  };

  StartUp(TimerQueue& timers, Parts parts);

  /// Start-up: settings, listeners and table; continues by itself after the 250 ms pause.
  void FormLoad();
  /// The "Start" action: stops the delayed start and opens the listeners.
  void StartAction();
  /// Opens the user, bridge and cluster listeners that are not listening yet.
  void StartTelnet();
  /// Stops every start-up timer (shutdown).
  void Stop();
  /// Called each time StartTelnet has opened (or tried) every listener.
  void SetListenersOpenHandler(std::function<void()> handler) {
    listeners_open_ = std::move(handler);
  }

  /// The delayed-start timers.
  const Timer& Timer4() const { return timer4_; }
  const Timer& Timer5() const { return timer5_; }

 private:
  void FormLoadAfterPause();
  void FormLoadFailed(const RunTimeError& error);
  void SetStatusColour(Colour colour);
  void CreateListenerIndicators();
  void GuardUserListeners();
  void OpenListener(int i);
  void OpenMonitorListener();
  void ListenerFailed(PortRole role, const std::string& port, const RunTimeError& error);
  void TimeDelay250(std::function<void()> continuation);
  void Timer2Tick();
  void Timer4Tick();
  void Timer5Tick();

  Parts parts_;
  Settings& settings_;
  Timer timer2_;
  Timer timer4_;
  Timer timer5_;
  std::function<void()> after_pause_;
  std::function<void()> listeners_open_;
  bool ipv4_only_told_ = false;  // the fall-back to IPv4 alone is told once
};

}  // namespace velgate
