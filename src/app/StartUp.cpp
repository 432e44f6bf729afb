// Start-up: FormLoad in its order of steps, the start action, StartTelnet and the timers that
// pause start-up (Timer2) or start the listeners when start-up never got that far (Timer4, 5).

#include "app/Gateway.h"
#include "platform/NumberText.h"
#include "platform/Process.h"

namespace velgate {

void Gateway::FormLoad() {
  try {
    SetStatusColour(colours::kYellow);
    ReadFix();
    WindowPlacement& window = settings_.MainWindow;
    if (window.left < -100000 || window.top < -100000) window = WindowPlacement{0, 0, 7000, 7000};
    WriteFix();
    start_time_ = clock_.Now().local;
    folder_.DeleteIpLogs();
    if (options_.raise_priority) RaiseProcessPriority();
    const std::int16_t preload = ToInteger16(settings_.PreLoad + settings_.NumListenPorts);
    CreateListenerIndicators();
    Streams().GrowStreamTable(preload);
    // The monitor listener opens after a pause that lets pending events run.
    if (monitor_port_.Socket().State() != SocketState::kClosed) monitor_port_.Socket().Close();
    monitor_port_.Socket().Close();
    monitor_port_.Socket().SetLocalPort(0);
    TimeDelay250([this] { FormLoadAfterPause(); });
  } catch (const RunTimeError& error) {
    FormLoadFailed(error);
  }
}

void Gateway::FormLoadAfterPause() {
  try {
    monitor_port_.Socket().SetRemotePort(0);
    monitor_port_.Socket().SetLocalPort(TextToInteger32(settings_.MonitorPort));
    monitor_port_.Socket().Listen();
    StartAction();
    monitor_feed_.FollowNew = true;
    view_.UpdateLabels([&](MainLabels& labels) {
      labels.title = std::string("Velgate Version ") + kVersion;
      labels.lblDate = "Listening for cluster on " + local_ip_ + " port " +
                       PlainNumber(link_.Socket().LocalPort());
    });
  } catch (const RunTimeError& error) {
    FormLoadFailed(error);
  }
}

void Gateway::FormLoadFailed(const RunTimeError& error) {
  // The steps after the failing one are skipped; Timer4 still runs the delayed start.
  ErrorLog("FormLoad", error.Description());
  view_.Alert("Velgate Form Load",
              "Error number " + PlainNumber(error.Number()) + "\r\n" + error.Description());
}

void Gateway::CreateListenerIndicators() {
  const int listeners = settings_.NumListenPorts;
  std::vector<ListenerIndicator>& indicators = view_.Indicators();
  indicators.resize(static_cast<std::size_t>(listeners) + 1, indicators[0]);
  for (int i = 1; i <= listeners; ++i) {
    indicators[static_cast<std::size_t>(i)].colour = ListenerColour(i);
  }
  watchdog_.CreateListeners(listeners);
}

void Gateway::StartAction() {
  timer4_.SetEnabled(false);
  timer5_.SetEnabled(false);
  StartTelnet();
  view_.UpdateLabels([](MainLabels& labels) {
    labels.StartButtonVisible = false;
    labels.StartButtonCaption = "Reload Cfg";
  });
}

void Gateway::StartTelnet() {
  try {
    timer4_.SetEnabled(false);
    view_.UpdateLabels([](MainLabels& labels) {
      labels.title = std::string("Cluster Velgate (Velgate Version ") + kVersion + " by QQ0QQ)";
    });
    for (int i = 1; i <= settings_.NumListenPorts; ++i) {
      // Start-up may have failed before the listeners' rows and timers existed.
      if (!watchdog_.Has(i)) throw RunTimeError::SubscriptOutOfRange();
      if (Streams().Socket(i).State() != SocketState::kListening) OpenListener(i);
      watchdog_.Watch(i, Streams().Socket(i).LocalPort());
    }
    link_.Listen();
  } catch (const RunTimeError& error) {
    // The listeners after the failing one, the cluster listener among them, stay closed.
    ErrorLog("StartTelnet", error.Description());
  }
}

void Gateway::OpenListener(int i) {
  TcpSocket& listener = Streams().Socket(i);
  listener.Close();
  listener.SetRemotePort(0);
  ListenerIndicator& indicator = view_.Indicators()[static_cast<std::size_t>(i)];
  if (i == settings_.NumListenPorts && settings_.AGWEnabled != 0) {
    listener.SetLocalPort(TextToInteger32(settings_.AGWPort));
    indicator.tip = "Listening for agw2zqc on " + local_ip_ + " port " + settings_.AGWPort;
  } else {
    listener.SetLocalPort(TextToInteger32(settings_.UserPort(i)));
    indicator.tip = "Listening for users on " + local_ip_ + " port " + settings_.UserPort(i);
  }
  listener.Listen();
}

void Gateway::TimeDelay250(std::function<void()> continuation) {
  after_pause_ = std::move(continuation);
  timer2_.SetEnabled(true);
}

void Gateway::Timer2Tick() {
  timer2_.SetEnabled(false);
  if (after_pause_) {
    auto continuation = std::move(after_pause_);
    after_pause_ = nullptr;
    continuation();
  }
}

void Gateway::Timer4Tick() {
  try {
    timer4_.SetEnabled(false);
    timer5_.SetEnabled(true);
    view_.BringToFront();
  } catch (const RunTimeError&) {
    ErrorLog("Timer4_timer", "");
  }
}

void Gateway::Timer5Tick() {
  try {
    timer5_.SetEnabled(false);
    StartTelnet();
    view_.UpdateLabels([](MainLabels& labels) { labels.StartButtonVisible = false; });
  } catch (const RunTimeError&) {
    ErrorLog("Timer5_timer", "");
  }
}

}  // namespace velgate
