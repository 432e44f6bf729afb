#pragma once
// The listener watchdog: every user and bridge listener has a 30 s timer. A listener that has
// seen no connection request for two periods is recycled (closed, made anew, listening again on
// the port it was opened on); its indicator box shows "0" after a request, "1" after one quiet
// period and "R" after a recycle, and the monitor hears of every change. The operational log
// has the first recycle after a request (a quiet listener is recycled every minute), and a
// port that cannot be listened on again.

#include <cstdint>
#include <functional>
#include <vector>

#include "base/ErrorLog.h"
#include "base/OperationsLog.h"
#include "model/MonitorFeed.h"
#include "model/ViewModel.h"
#include "platform/TimerQueue.h"

namespace velgate {

class ListenerWatchdog {
 public:
  /// Closes listener i and listens again on port; throws RunTimeError when it cannot.
  using Reopen = std::function<void(int i, int port)>;

  ListenerWatchdog(TimerQueue& timers, ViewModel& view, MonitorFeed& monitor,
                   ErrorLogFile& error_log, OperationsLog& oplog, Reopen reopen);

  /// Creates the timers (disabled) and counters of listeners 1..listeners.
  void CreateListeners(int listeners);
  /// Whether listener i has its timer and counter.
  bool Has(int i) const { return i >= 1 && static_cast<std::size_t>(i) < listeners_.size(); }
  /// Starts watching listener i, which listens on port for role (a recycle re-opens it there).
  void Watch(int i, int port, PortRole role);
  /// A connection request reached listener i: its count starts again.
  void Reset(int i);
  /// Stops every timer (shutdown).
  void StopAll();

 private:
  /// One watched listener: its timer tmrDOS, its counter PortCounters and the port it opened on.
  struct Watched {
    Timer timer;
    std::int32_t counter = 0;
    int port = 0;
    PortRole role = PortRole::kUsers;
    bool recycle_logged = false;  // since the last request
  };

  Watched& At(int i);
  void Tick(int i);
  void Recycle(Watched& listener, int i);

  TimerQueue& timer_queue_;
  ViewModel& view_;
  MonitorFeed& monitor_;
  ErrorLogFile& error_log_;
  OperationsLog& oplog_;
  Reopen reopen_;
  std::vector<Watched> listeners_;  // index 0 unused
};

}  // namespace velgate
