#pragma once
// What the service manager hears (platform/ServiceNotify.h): READY=1 once the listeners are
// open, STATUS= with the users logged in (looked at once a second, sent when it changed),
// a file that could not be saved after them, WATCHDOG=1 at half the manager's watchdog period,
// STOPPING=1 at shutdown. Without a manager it does nothing and runs no timer.

#include <cstdint>

#include "model/SavedFiles.h"
#include "platform/ServiceNotify.h"
#include "platform/TimerQueue.h"
#include "streams/StreamTable.h"

namespace velgate {

class ServiceReport {
 public:
  static constexpr std::int64_t kStatusEveryMs = 1000;

  /// notify: the service manager, or null when there is none.
  ServiceReport(TimerQueue& timers, ServiceNotify* notify, const StreamTable& streams,
                const SavedFiles& saved_files);

  /// The listeners are open: ready, and the status from now on.
  void Ready();
  /// The program is ending.
  void Stopping();

 private:
  void StatusTick();

  ServiceNotify* notify_;
  const StreamTable& streams_;
  const SavedFiles& saved_files_;
  Timer status_timer_;
  Timer watchdog_timer_;
  std::string status_told_;
  bool stopping_ = false;
};

}  // namespace velgate
