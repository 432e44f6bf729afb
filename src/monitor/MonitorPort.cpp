#include "monitor/MonitorPort.h"

#include "protection/LockOuts.h"
#include "protection/TrustedCallers.h"

#include "codec/MonitorMessages.h"
#include "platform/NumberText.h"

#include <utility>

namespace velgate {

MonitorPort::MonitorPort(asio::io_context& io, TimerQueue& timers, Parts parts)
    : socket_(io, *this, 0, kSendCap),
      timer_(timers, 20, true, [this] { Drain(); }),
      feed_(parts.feed),
      streams_(parts.streams),
      view_(parts.view),
      settings_(parts.settings),
      marks_(parts.marks),
      error_log_(parts.error_log),
      oplog_(parts.oplog) {}

void MonitorPort::Listen() {
  socket_.ListenAgain(TextToInteger32(settings_.MonitorPort));
}

void MonitorPort::Stop() {
  client_ip_.clear();
  socket_.CloseAndReset();
  timer_.SetEnabled(false);
}

void MonitorPort::Drain() {
  feed_.SockState = socket_.State();
  if (!feed_.Storing()) {
    timer_.SetInterval(60000);
    return;
  }
  // A client that passes its queue's cap fails here; its Error event reports it, once.
  while (socket_.State() == SocketState::kConnected && feed_.TakeNext(sending_)) {
    socket_.SendData(sending_);
  }
  if (sending_.capacity() > kKeptMessageCapacity) std::string().swap(sending_);
}

void MonitorPort::OnConnectionRequest(int, PendingConnection& request) {
  const TrustedPort port{settings_.MonitorAllow, "MonitorAllow", "VelgateMonitor_ConnectionRequest",
                         Refusal::kMonitorAllow};
  if (RefuseUntrusted(port, request, socket_.LocalPort(), error_log_, oplog_)) return;
  try {
    socket_.TakeCaller(request);
  } catch (const RunTimeError& error) {
    error_log_.Write("VelgateMonitor_ConnectionRequest", error.Description());
    ListenAgain("VelgateMonitor_ConnectionRequest");
    return;
  }
  client_ip_ = socket_.RemoteHostIP();
  oplog_.Record(oplog::MonitorAttached{client_ip_});
  feed_.Clear();
  feed_.MonitorActive = true;
  feed_.MonitoredStream = 0;
  view_.UpdateLabels([](MainLabels& labels) { labels.Label2Colour = colours::kRed; });
  timer_.SetEnabled(false);
  timer_.SetInterval(20);
  timer_.SetEnabled(true);
}

void MonitorPort::OnClose(int) {
  Dropped(DropReason::kClosed);
  feed_.MonitorActive = false;
  ListenAgain("VelgateMonitor_Close");
}

void MonitorPort::OnError(int, const RunTimeError& error) {
  if (error.Number() == RunTimeError::kSendCapReached) {
    // A client that stops reading is dropped as if it had closed, never waited for.
    error_log_.Write("VelgateMonitor_Error", "monitor client dropped: " + error.Description());
    Dropped(DropReason::kQueueCap);
    OnClose(0);
    return;
  }
  Dropped(DropReason::kFailed);
  ListenAgain("VelgateMonitor_Error");
}

bool MonitorPort::DropIfNotAllowed() {
  if (client_ip_.empty() || Allowed(settings_.MonitorAllow, client_ip_)) return false;
  Dropped(DropReason::kNotAllowed);
  feed_.MonitorActive = false;
  ListenAgain("Reload");
  return true;
}

void MonitorPort::Dropped(DropReason reason) {
  if (client_ip_.empty()) return;
  oplog_.Record(oplog::MonitorDropped{std::exchange(client_ip_, {}), reason});
}

void MonitorPort::ListenAgain(const char* where) {
  view_.UpdateLabels([](MainLabels& labels) { labels.Label2Colour = colours::kButtonFace; });
  socket_.Close();
  try {
    Listen();
  } catch (const RunTimeError& error) {
    error_log_.Write(where, error.Description());
  }
}

void MonitorPort::OnDataArrival(int, std::string_view data) {
  progress_ = Progress{};
  for (const MonitorCommand& command : ReadMonitorCommands(data)) {
    try {
      Carry(command);
    } catch (const RunTimeError& error) {
      // A bad command costs only itself: the rest of the block is still carried out.
      ReportCommandFailure(error);
    }
  }
}

void MonitorPort::Carry(const MonitorCommand& command) {
  using Kind = MonitorCommand::Kind;
  progress_.caret_or_row = command.caret;
  switch (command.kind) {
    case Kind::kFeedOn:
      progress_.spot = 2;
      feed_.MonitorActive = true;
      SendSummary();
      SetAllFlags(true);
      return;
    case Kind::kFeedOff:
      progress_.spot = 2;
      feed_.MonitorActive = false;
      return;
    case Kind::kFlagOn:
    case Kind::kFlagOff:
      progress_.spot = command.kind == Kind::kFlagOn ? 2 : 3;
      SetFlag(command.number, command.kind == Kind::kFlagOn);
      return;
    case Kind::kAllFlagsOff:
      progress_.spot = 3;
      SetAllFlags(false);
      return;
    case Kind::kSummaryAndRows:
      progress_.spot = 4;
      SendSummary();
      for (int s = settings_.PortSlotCount; s <= streams_.StreamMax(); ++s) {
        progress_.caret_or_row = s;
        SendRow(s, false);
      }
      return;
    case Kind::kFollowNew:
      progress_.spot = 5;
      feed_.FollowNew = true;
      return;
    case Kind::kSelect: {
      feed_.FollowNew = false;
      progress_.spot = 6;
      const std::int32_t n = ToInteger32(command.number);
      progress_.listener_or_number = n;
      if (n > streams_.StreamMax() || n < 0) {
        feed_.MonitoredStream = 0;
        return;
      }
      progress_.spot = 9;
      feed_.MonitoredStream = static_cast<std::int16_t>(n);
      if (feed_.MonitorActive) SendRow(n, true);
      return;
    }
  }
}

void MonitorPort::SendSummary() {
  feed_.SendToMonitor(monitor_messages::AllTimeHigh(marks_.AllTimeHigh, marks_.AllTimeHighDate));
  feed_.SendToMonitor(monitor_messages::SessionHigh(marks_.SessionHigh, marks_.SessionHighDate));
  feed_.SendToMonitor(monitor_messages::Status(view_.Labels().lblDate));
  const auto& indicators = view_.Indicators();
  for (int i = 1; i <= settings_.NumListenPorts; ++i) {
    progress_.listener_or_number = i;
    if (static_cast<std::size_t>(i) >= indicators.size()) throw RunTimeError::SubscriptOutOfRange();
    feed_.SendToMonitor(monitor_messages::Listener(
        i, indicators[static_cast<std::size_t>(i)].colour, settings_.UserPort(i)));
  }
}

void MonitorPort::SendRow(int s, bool selected) {
  if (feed_.Storing()) feed_.SendToMonitor(monitor_messages::Row(selected, s, view_.Row(s)));
}

void MonitorPort::SetFlag(double n, bool on) {
  if (!(n >= 0 && n <= streams_.StreamMax())) throw RunTimeError::SubscriptOutOfRange();
  progress_.flag = static_cast<std::int64_t>(n);
  streams_.At(static_cast<int>(n)).monitor_echo = on;
}

void MonitorPort::SetAllFlags(bool on) {
  for (int s = settings_.PortSlotCount; s <= streams_.StreamMax(); ++s) {
    progress_.flag = s;
    streams_.At(s).monitor_echo = on;
  }
}

void MonitorPort::ReportCommandFailure(const RunTimeError& error) {
  error_log_.Write("VelgateMonitor_DataArrival", error.Description());
  const std::string line =
      PlainNumber(error.Number()) + " monitored stream = " + PlainNumber(feed_.MonitoredStream) +
      " x= " + PlainNumber(progress_.caret_or_row) +
      "y= " + PlainNumber(progress_.listener_or_number) + " z= " + PlainNumber(progress_.flag) +
      "spot= " + PlainNumber(progress_.spot) + error.Description();
  view_.UpdateLabels([&](MainLabels& labels) { labels.txtError = line; });
}

}  // namespace velgate
