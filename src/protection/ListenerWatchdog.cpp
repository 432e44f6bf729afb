#include "protection/ListenerWatchdog.h"

#include <string>

#include "codec/MonitorMessages.h"
#include "platform/NumberText.h"

namespace velgate {

ListenerWatchdog::ListenerWatchdog(TimerQueue& timers, ViewModel& view, MonitorFeed& monitor,
                                   ErrorLogFile& error_log, OperationsLog& oplog, Reopen reopen)
    : timer_queue_(timers),
      view_(view),
      monitor_(monitor),
      error_log_(error_log),
      oplog_(oplog),
      reopen_(std::move(reopen)) {}

void ListenerWatchdog::CreateListeners(int listeners) {
  listeners_.clear();
  listeners_.resize(static_cast<std::size_t>(listeners) + 1);
  for (int i = 1; i <= listeners; ++i) {
    At(i).timer = Timer(timer_queue_, 30000, false, [this, i] { Tick(i); });
  }
}

ListenerWatchdog::Watched& ListenerWatchdog::At(int i) {
  if (!Has(i)) throw RunTimeError::SubscriptOutOfRange();
  return listeners_[static_cast<std::size_t>(i)];
}

void ListenerWatchdog::Watch(int i, int port, PortRole role) {
  Watched& listener = At(i);
  listener.port = port;
  listener.role = role;
  listener.timer.SetEnabled(true);
}

void ListenerWatchdog::Reset(int i) {
  Watched& listener = At(i);
  listener.recycle_logged = false;
  ListenerIndicator& indicator = view_.Indicators()[static_cast<std::size_t>(i)];
  if (indicator.text != "0") {
    listener.counter = 0;
    indicator.text = "0";
    monitor_.SendToMonitor(monitor_messages::ListenerCounter(i, "0"));
  }
  listener.timer.Restart();
}

void ListenerWatchdog::StopAll() {
  for (Watched& listener : listeners_) {
    if (listener.timer.Valid()) listener.timer.SetEnabled(false);
  }
}

void ListenerWatchdog::Tick(int i) {
  try {
    Watched& listener = At(i);
    ListenerIndicator& indicator = view_.Indicators()[static_cast<std::size_t>(i)];
    listener.counter += 1;
    indicator.text = PlainNumber(listener.counter);
    if (listener.counter > 1) {
      listener.counter = 0;
      indicator.text = "R";
      Recycle(listener, i);
    }
    monitor_.SendToMonitor(monitor_messages::ListenerCounter(i, indicator.text));
  } catch (const RunTimeError&) {
    error_log_.Write("tmrDos_timer", "");
  }
}

void ListenerWatchdog::Recycle(Watched& listener, int i) {
  if (!listener.recycle_logged) oplog_.Record(oplog::ListenerRecycled{listener.port});
  listener.recycle_logged = true;
  try {
    // Made anew: closed, then listening again on the port it had, whatever the settings say now.
    reopen_(i, listener.port);
  } catch (const RunTimeError& error) {
    oplog_.Record(
        oplog::ListenFailed{std::to_string(listener.port), listener.role, error.Description()});
    throw;
  }
}

}  // namespace velgate
