#include "protection/ListenerWatchdog.h"

#include "codec/MonitorMessages.h"
#include "platform/NumberText.h"

namespace velgate {

ListenerWatchdog::ListenerWatchdog(TimerQueue& timers, ViewModel& view, MonitorFeed& monitor,
                                   ErrorLogFile& error_log, Reopen reopen)
    : timer_queue_(timers),
      view_(view),
      monitor_(monitor),
      error_log_(error_log),
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

void ListenerWatchdog::Watch(int i, int port) {
  Watched& listener = At(i);
  listener.port = port;
  listener.timer.SetEnabled(true);
}

void ListenerWatchdog::Reset(int i) {
  Watched& listener = At(i);
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
      // Made anew: closed, then listening again on the port it had, whatever the settings say now.
      reopen_(i, listener.port);
    }
    monitor_.SendToMonitor(monitor_messages::ListenerCounter(i, indicator.text));
  } catch (const RunTimeError&) {
    error_log_.Write("tmrDos_timer", "");
  }
}

}  // namespace velgate
