#include "app/StartUp.h"

#include "base/ErrorLog.h"
#include "base/Version.h"
#include "platform/NumberText.h"
#include "platform/Process.h"

namespace velgate {

StartUp::StartUp(TimerQueue& timers, Parts parts)
    : parts_(parts),
      settings_(parts.store.Current()),
      // The window's timers as it is created: Timer2 and Timer4 on, Timer5 off.
      timer2_(timers, 250, true, [this] { Timer2Tick(); }),
      timer4_(timers, 60000, true, [this] { Timer4Tick(); }),
      timer5_(timers, 5000, false, [this] { Timer5Tick(); }) {
  parts_.view.Indicators().resize(1);
  parts_.view.Indicators()[0] = ListenerIndicator{
      "0", "Number of Minutes Since Last Connection.  Resets at 6.", colours::kGreen};
}

void StartUp::Stop() {
  timer2_.SetEnabled(false);
  timer4_.SetEnabled(false);
  timer5_.SetEnabled(false);
}

void StartUp::SetStatusColour(Colour colour) {
  parts_.view.UpdateLabels([colour](MainLabels& labels) { labels.StatusColour = colour; });
}

void StartUp::FormLoad() {
  parts_.oplog.Record(
      oplog::Starting{kVersion, parts_.folder.Path(), parts_.descriptors.Reserve().Limit()});
  try {
    SetStatusColour(colours::kYellow);
    parts_.store.ReadFix();
    parts_.streams.SetConnectionOptions({StreamTable::kUserSendBuffer, settings_.KeepAlive});
    WindowPlacement& window = settings_.MainWindow;
    if (window.left < -100000 || window.top < -100000) window = WindowPlacement{0, 0, 7000, 7000};
    parts_.store.WriteFix();
    if (settings_.ClusterAllow.empty()) {
      parts_.store.Warn("FormLoad",
                        "the cluster port accepts any address: \"ClusterAllow\" in Velgate.cfg "
                        "limits it");
    }
    if (settings_.MonitorAllow.empty()) {
      parts_.store.Warn("FormLoad",
                        "the monitor port accepts any address: \"MonitorAllow\" in Velgate.cfg "
                        "limits it");
    }
    parts_.start_time = parts_.clock.Now().local;
    parts_.folder.DeleteIpLogs();
    if (parts_.raise_priority) RaiseProcessPriority();
    const std::int16_t preload = ToInteger16(settings_.PreLoad + settings_.NumListenPorts);
    CreateListenerIndicators();
    parts_.streams.GrowStreamTable(preload);
    GuardUserListeners();
    // The monitor listener opens after a pause that lets pending events run.
    parts_.monitor.Socket().CloseAndReset();
    TimeDelay250([this] { FormLoadAfterPause(); });
  } catch (const RunTimeError& error) {
    FormLoadFailed(error);
  }
}

void StartUp::GuardUserListeners() {
  for (int i = 1; i <= settings_.NumListenPorts; ++i)
    parts_.descriptors.Guard(parts_.streams.Socket(i));
  parts_.descriptors.ReportCapacity();
}

void StartUp::FormLoadAfterPause() {
  try {
    std::vector<IpAddress> addresses;
    for (const std::string& text : settings_.ListenAddress)
      addresses.push_back(*IpAddress::Parse(text));
    TcpSocket::SetListenAddresses(std::move(addresses));
    OpenMonitorListener();
    StartAction();
    parts_.monitor.Feed().FollowNew = true;
    parts_.view.UpdateLabels([&](MainLabels& labels) {
      labels.title = std::string("Velgate Version ") + kVersion;
      // Only a listener that listens is reported as listening.
      if (parts_.link.Socket().State() != SocketState::kListening) return;
      labels.lblDate = "Listening for cluster on " + parts_.local_ip + " port " +
                       PlainNumber(parts_.link.Socket().LocalPort());
    });
  } catch (const RunTimeError& error) {
    FormLoadFailed(error);
  }
}

void StartUp::OpenMonitorListener() {
  try {
    parts_.monitor.Listen();
  } catch (const RunTimeError& error) {
    parts_.oplog.Record(
        oplog::ListenFailed{settings_.MonitorPort, PortRole::kMonitor, error.Description()});
    throw;
  }
  parts_.oplog.Record(oplog::Listening{parts_.monitor.Socket().LocalPort(), PortRole::kMonitor});
}

void StartUp::FormLoadFailed(const RunTimeError& error) {
  // The steps after the failing one are skipped; Timer4 still runs the delayed start.
  parts_.error_log.Write("FormLoad", error.Description());
  parts_.view.Alert("Velgate Form Load",
                    "Error number " + PlainNumber(error.Number()) + "\r\n" + error.Description());
}

void StartUp::CreateListenerIndicators() {
  const int listeners = settings_.NumListenPorts;
  std::vector<ListenerIndicator>& indicators = parts_.view.Indicators();
  indicators.resize(static_cast<std::size_t>(listeners) + 1, indicators[0]);
  for (int i = 1; i <= listeners; ++i) {
    indicators[static_cast<std::size_t>(i)].colour = ListenerColour(i);
  }
  parts_.watchdog.CreateListeners(listeners);
}

void StartUp::StartAction() {
  timer4_.SetEnabled(false);
  timer5_.SetEnabled(false);
  StartTelnet();
  parts_.view.UpdateLabels([](MainLabels& labels) {
    labels.StartButtonVisible = false;
    labels.StartButtonCaption = "Reload Cfg";
  });
}

void StartUp::StartTelnet() {
  timer4_.SetEnabled(false);
  parts_.view.UpdateLabels([](MainLabels& labels) {
    labels.title = std::string("Cluster Velgate (Velgate Version ") + kVersion + " by QQ0QQ)";
  });
  // A listener that cannot open is reported, and the others, the cluster's above all, still
  // open.
  for (int i = 1; i <= settings_.NumListenPorts; ++i) {
    // Start-up may have failed before the listeners' rows and timers existed.
    if (!parts_.watchdog.Has(i)) {
      parts_.error_log.Write("StartTelnet", RunTimeError::SubscriptOutOfRange().Description());
      break;
    }
    TcpSocket& listener = parts_.streams.Socket(i);
    const bool bridge = i == settings_.NumListenPorts && settings_.AGWEnabled != 0;
    const PortRole role = bridge ? PortRole::kBridge : PortRole::kUsers;
    try {
      if (listener.State() != SocketState::kListening) {
        OpenListener(i);
        parts_.oplog.Record(oplog::Listening{listener.LocalPort(), role});
      }
      parts_.watchdog.Watch(i, listener.LocalPort(), role);
    } catch (const RunTimeError& error) {
      ListenerFailed(role, bridge ? settings_.AGWPort : settings_.UserPort(i), error);
    }
  }
  try {
    parts_.link.Listen();
    parts_.oplog.Record(oplog::Listening{parts_.link.Socket().LocalPort(), PortRole::kCluster});
  } catch (const RunTimeError& error) {
    ListenerFailed(PortRole::kCluster, PlainNumber(settings_.ClusterPort), error);
  }
  if (!TcpSocket::IPv6Missing().empty() && !ipv4_only_told_) {
    ipv4_only_told_ = true;
    parts_.oplog.Record(oplog::ListenIPv4Only{TcpSocket::IPv6Missing()});
  }
  if (listeners_open_) listeners_open_();
}

void StartUp::ListenerFailed(PortRole role, const std::string& port, const RunTimeError& error) {
  parts_.error_log.Write("StartTelnet", error.Description());
  parts_.oplog.Record(oplog::ListenFailed{port, role, error.Description()});
  const char* what = role == PortRole::kCluster  ? "cluster"
                     : role == PortRole::kBridge ? "agw2zqc"
                                                 : "users";
  const std::string text =
      std::string("Cannot listen for ") + what + " on port " + port + ": " + error.Description();
  parts_.view.Report("error: " + text);
  parts_.view.UpdateLabels([&](MainLabels& labels) {
    (role == PortRole::kCluster ? labels.lblDate : labels.txtError) = text;
  });
}

void StartUp::OpenListener(int i) {
  ListenerIndicator& indicator = parts_.view.Indicators()[static_cast<std::size_t>(i)];
  const bool bridge = i == settings_.NumListenPorts && settings_.AGWEnabled != 0;
  const std::string& port = bridge ? settings_.AGWPort : settings_.UserPort(i);
  TcpSocket& listener = parts_.streams.Socket(i);
  listener.Close();
  const std::int32_t port_number = TextToInteger32(port);
  indicator.tip = std::string(bridge ? "Listening for agw2zqc on " : "Listening for users on ") +
                  parts_.local_ip + " port " + port;
  listener.ListenAgain(port_number);
}

void StartUp::TimeDelay250(std::function<void()> continuation) {
  after_pause_ = std::move(continuation);
  timer2_.SetEnabled(true);
}

void StartUp::Timer2Tick() {
  timer2_.SetEnabled(false);
  if (after_pause_) {
    auto continuation = std::move(after_pause_);
    after_pause_ = nullptr;
    continuation();
  }
}

void StartUp::Timer4Tick() {
  try {
    timer4_.SetEnabled(false);
    timer5_.SetEnabled(true);
    parts_.view.BringToFront();
  } catch (const RunTimeError&) {
    parts_.error_log.Write("Timer4_timer", "");
  }
}

void StartUp::Timer5Tick() {
  try {
    timer5_.SetEnabled(false);
    StartTelnet();
    parts_.view.UpdateLabels([](MainLabels& labels) { labels.StartButtonVisible = false; });
  } catch (const RunTimeError&) {
    parts_.error_log.Write("Timer5_timer", "");
  }
}

}  // namespace velgate
