#pragma once
// The listener watchdog: every user and bridge listener has a 30 s timer. A listener that has
// seen no connection request for two periods is recycled (closed, made anew, listening again on
// the port it was opened on); its indicator box shows "0" after a request, "1" after one quiet
// period and "R" after a recycle, and the monitor hears of every change.

#include <cstdint>
#include <vector>

#include "app/ErrorLog.h"
#include "monitor/MonitorFeed.h"
#include "platform/TimerQueue.h"
#include "streams/StreamTable.h"
#include "ui/ViewModel.h"

namespace velgate {

class ListenerWatchdog {
 public:
  ListenerWatchdog(TimerQueue& timers, StreamTable& streams, ViewModel& view, MonitorFeed& monitor,
                   ErrorLogFile& error_log);

  /// Creates the timers (disabled) and counters of listeners 1..listeners.
  void CreateListeners(int listeners);
  /// Whether listener i has its timer and counter.
  bool Has(int i) const { return i >= 1 && static_cast<std::size_t>(i) < timers_.size(); }
  /// Starts watching listener i, which listens on port (a recycle re-opens it there).
  void Watch(int i, int port);
  /// A connection request reached listener i: its count starts again.
  void Reset(int i);
  /// Stops every timer (shutdown).
  void StopAll();

  /// The timer tmrDOS(i).
  const Timer& tmrDOS(int i) const { return timers_[static_cast<std::size_t>(i)]; }
  /// The counter PortCounters(i).
  std::int32_t PortCounter(int i) const { return counters_[static_cast<std::size_t>(i)]; }

 private:
  void Tick(int i);

  TimerQueue& timer_queue_;
  StreamTable& streams_;
  ViewModel& view_;
  MonitorFeed& monitor_;
  ErrorLogFile& error_log_;
  std::vector<Timer> timers_;
  std::vector<std::int32_t> counters_;
  std::vector<int> ports_;
};

}  // namespace velgate
