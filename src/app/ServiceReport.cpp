#include "app/ServiceReport.h"

#include <algorithm>
#include <string>

namespace velgate {

ServiceReport::ServiceReport(TimerQueue& timers, ServiceNotify* notify, const StreamTable& streams,
                             const SavedFiles& saved_files)
    : notify_(notify), streams_(streams), saved_files_(saved_files) {
  if (!notify_) return;
  status_timer_ = Timer(timers, kStatusEveryMs, false, [this] { StatusTick(); });
  // Pinged from the gateway's own loop: a loop that hangs stops the pings.
  const std::int64_t watchdog_ms = notify_->WatchdogMs();
  if (watchdog_ms > 0) {
    watchdog_timer_ = Timer(timers, std::max<std::int64_t>(watchdog_ms / 2, 1), true,
                            [this] { notify_->Notify("WATCHDOG=1"); });
  }
}

void ServiceReport::Ready() {
  if (!notify_ || stopping_) return;
  notify_->Notify("READY=1");
  StatusTick();
  status_timer_.SetEnabled(true);
}

void ServiceReport::Stopping() {
  if (!notify_ || stopping_) return;
  stopping_ = true;
  status_timer_.SetEnabled(false);
  if (watchdog_timer_.Valid()) watchdog_timer_.SetEnabled(false);
  notify_->Notify("STOPPING=1");
}

void ServiceReport::StatusTick() {
  const std::int64_t users = streams_.LoggedInUsers();
  std::string status = std::to_string(users) + (users == 1 ? " user" : " users") + " logged in";
  if (const std::string unsaved = saved_files_.Unsaved(); !unsaved.empty())
    status += "; not saved: " + unsaved;
  if (status == status_told_) return;
  notify_->Notify("STATUS=" + status);
  status_told_ = std::move(status);
}

}  // namespace velgate
