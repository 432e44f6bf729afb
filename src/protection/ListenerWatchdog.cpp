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
  const std::size_t size = static_cast<std::size_t>(listeners) + 1;
  timers_.resize(size);
  counters_.assign(size + 1, 0);
  ports_.assign(size, 0);
  for (int i = 1; i <= listeners; ++i) {
    timers_[static_cast<std::size_t>(i)] =
        Timer(timer_queue_, 30000, false, [this, i] { Tick(i); });
  }
}

void ListenerWatchdog::Watch(int i, int port) {
  ports_[static_cast<std::size_t>(i)] = port;
  timers_[static_cast<std::size_t>(i)].SetEnabled(true);
}

void ListenerWatchdog::Reset(int i) {
  ListenerIndicator& indicator = view_.Indicators()[static_cast<std::size_t>(i)];
  if (indicator.text != "0") {
    counters_[static_cast<std::size_t>(i)] = 0;
    indicator.text = "0";
    monitor_.SendToMonitor(monitor_messages::ListenerCounter(i, "0"));
  }
  timers_[static_cast<std::size_t>(i)].Restart();
}

void ListenerWatchdog::StopAll() {
  for (Timer& timer : timers_) {
    if (timer.Valid()) timer.SetEnabled(false);
  }
}

void ListenerWatchdog::Tick(int i) {
  const std::size_t index = static_cast<std::size_t>(i);
  ListenerIndicator& indicator = view_.Indicators()[index];
  try {
    counters_[index] += 1;
    indicator.text = PlainNumber(counters_[index]);
    if (counters_[index] > 1) {
      counters_[index] = 0;
      indicator.text = "R";
      // Made anew: closed, then listening again on the port it had, whatever the settings say now.
      reopen_(i, ports_[index]);
    }
    monitor_.SendToMonitor(monitor_messages::ListenerCounter(i, indicator.text));
  } catch (const RunTimeError&) {
    error_log_.Write("tmrDos_timer", "");
  }
}

}  // namespace velgate
