#include "app/Gateway.h"

#include "platform/Process.h"

namespace velgate {

Gateway::Gateway(asio::io_context& io, const Clock& clock, TimerQueue& timers,
                 GatewayOptions options)
    : io_(io),
      clock_(clock),
      timers_(timers),
      options_(std::move(options)),
      folder_(options_.folder),
      error_log_(folder_.File("error.log"), clock,
                 [this](const std::string& description) {
                   view_.Alert("Velgate", "error.log cannot be written: " + description);
                 }),
      local_ip_(LocalIPv4Address()),
      streams_(io, timers, view_, user_events_, [this](int s) { LoginTimerTick(s); }),
      cluster_socket_(io, cluster_events_, 0, kClusterSendCap),
      monitor_socket_(io, monitor_events_, 0, kMonitorSendCap),
      // The window's timers as it is created: Timer2 and Timer4 on, Timer5 off.
      timer2_(timers, 250, true, [this] { Timer2Tick(); }),
      timer4_(timers, 60000, true, [this] { Timer4Tick(); }),
      timer5_(timers, 5000, false, [this] { Timer5Tick(); }) {
  view_.Indicators().resize(1);
  view_.Indicators()[0] = ListenerIndicator{
      "0", "Number of Minutes Since Last Connection.  Resets at 6.", colours::kGreen};
}

Gateway::~Gateway() = default;

void Gateway::SendToMonitor(std::string_view text) {
  // Messages are queued only while a monitor client is connected; the monitor port's drain
  // reads SockState at its ticks.
  if (SockState != static_cast<std::int16_t>(SocketState::kConnected)) return;
  (void)text;
}

void Gateway::SetStatusColour(Colour colour) {
  view_.UpdateLabels([colour](MainLabels& labels) { labels.StatusColour = colour; });
}

// User sockets: listeners 1 .. NumListenPorts and the streams after them.

void Gateway::VelgateIn_ConnectionRequest(int, PendingConnection& request) {
  // Admission is not served yet: the caller is turned away without a byte.
  request.Refuse();
}

void Gateway::VelgateIn_DataArrival(int, std::string_view) {}
void Gateway::VelgateIn_Connect(int) {}
void Gateway::VelgateIn_Close(int) {}
void Gateway::VelgateIn_Error(int, const RunTimeError&) {}
void Gateway::LoginTimerTick(int) {}
void Gateway::WatchdogTick(int) {}

// The cluster socket.

void Gateway::VelgateCluster_ConnectionRequest(int, PendingConnection& request) { request.Refuse(); }
void Gateway::VelgateCluster_DataArrival(int, std::string_view) {}
void Gateway::VelgateCluster_Connect(int) {}
void Gateway::VelgateCluster_Close(int) {}
void Gateway::VelgateCluster_Error(int, const RunTimeError&) {}

// The monitor socket.

void Gateway::VelgateMonitor_ConnectionRequest(int, PendingConnection& request) { request.Refuse(); }
void Gateway::VelgateMonitor_DataArrival(int, std::string_view) {}
void Gateway::VelgateMonitor_Connect(int) {}
void Gateway::VelgateMonitor_Close(int) {}
void Gateway::VelgateMonitor_Error(int, const RunTimeError&) {}

}  // namespace velgate
