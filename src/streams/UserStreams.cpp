// Delivering to streams and ending them; the login timeout; an outgoing connection's completion.

#include "streams/UserStreams.h"

#include "link/ClusterLink.h"
#include "link/LinkCodec.h"
#include "platform/NumberText.h"

namespace velgate {
namespace {

std::string Replaced(std::string_view text, char from, char to) {
  std::string cleaned(text);
  for (char& c : cleaned) {
    if (c == from) c = to;
  }
  return cleaned;
}

std::string Removed(std::string_view text, char gone) {
  std::string cleaned;
  cleaned.reserve(text.size());
  for (char c : text) {
    if (c != gone) cleaned += c;
  }
  return cleaned;
}

}  // namespace

UserStreams::UserStreams(asio::io_context& io, TimerQueue& timers, ViewModel& view,
                         Settings& settings, ErrorLogFile& error_log, ClusterLink& link,
                         MonitorFeed& monitor, Highwater& highwater,
                         std::function<void(int)> on_listener_request)
    : view_(view),
      settings_(settings),
      error_log_(error_log),
      link_(link),
      monitor_(monitor),
      highwater_(highwater),
      on_listener_request_(std::move(on_listener_request)),
      table_(io, timers, view, *this, [this](int s) { LoginTimerTick(s); }) {}

void UserStreams::SendToStream(int s, std::string_view text) {
  TcpSocket& socket = table_.Socket(s);
  if (socket.State() == SocketState::kConnected) {
    socket.SendData(text);
  } else if (socket.State() != SocketState::kError) {
    ReportStreamEnded(s);
  }
  // A socket that has just failed reports its ending once, through its Error event.
}

void UserStreams::StopLoginTimer(int s) {
  table_.tmrDisconnect[static_cast<std::size_t>(s)].SetEnabled(false);
  table_.StreamIdleTicks[static_cast<std::size_t>(s)] = 0;
}

void UserStreams::ReportStreamEnded(int s) {
  table_.StreamIPNumber[static_cast<std::size_t>(s)] = 0;
  StatusRow& row = view_.MutableRow(s);
  row.address.colour = colours::kWhite;
  row.call.colour = colours::kWhite;
  monitor_.SendAll("^ZQ66", s);
  link_.SendToCluster(AA17(Removed(row.call.text, kEtx), s, "0"));
  // A stream reported gone must not be ended a second time by its login timer.
  if (table_.Socket(s).State() != SocketState::kConnected) StopLoginTimer(s);
}

void UserStreams::VelgateInForceClose(int s) {
  StatusRow& row = view_.MutableRow(s);
  row.address.colour = colours::kWhite;
  row.call.colour = colours::kWhite;
  table_.StreamIPNumber[static_cast<std::size_t>(s)] = 0;
  monitor_.SendAll("^ZQ66", s);
  TcpSocket& socket = table_.Socket(s);
  socket.Close();
  socket.SetRemotePort(0);
  socket.SetLocalPort(0);
  table_.StreamState[static_cast<std::size_t>(s)] = 0;
  table_.StreamConnID[static_cast<std::size_t>(s)] = 0;
  StopLoginTimer(s);
}

void UserStreams::CloseStream(int s) {
  try {
    const StatusRow& shown = view_.Row(s);
    link_.SendToCluster(AA17(Replaced(shown.call.text, kEtx, '\0'), s,
                             PlainNumber(table_.StreamConnID[static_cast<std::size_t>(s)])));
    TcpSocket& socket = table_.Socket(s);
    socket.Close();
    socket.SetRemotePort(0);
    socket.SetLocalPort(0);
    StatusRow& row = view_.MutableRow(s);
    row.port.colour = colours::kWhite;
    row.call.colour = colours::kWhite;
    row.address.colour = colours::kWhite;
    row.address.tip.clear();
    monitor_.SendAll("^ZQ66", s);
    table_.StreamIPNumber[static_cast<std::size_t>(s)] = 0;
    StopLoginTimer(s);
  } catch (const RunTimeError&) {
    error_log_.Write("VelgateIn_Close", PlainNumber(s));
  }
}

void UserStreams::OnClose(int s) {
  CloseStream(s);
}

void UserStreams::OnError(int s, const RunTimeError&) {
  ReportStreamEnded(s);
  VelgateInForceClose(s);
}

void UserStreams::OnConnect(int s) {
  try {
    StatusRow& row = view_.MutableRow(s);
    row.call.colour = colours::kGreen;
    row.address.colour = colours::kCyan;
    if (!link_.SendStraight(AA38Outgoing(row.call.text, s, row.address.text))) {
      throw RunTimeError::WrongConnectionState();
    }
  } catch (const RunTimeError&) {
    error_log_.Write("VelgateIn_Connect", PlainNumber(s));
  }
}

void UserStreams::LoginTimerTick(int s) {
  const std::size_t i = static_cast<std::size_t>(s);
  const std::int32_t state = table_.StreamState[i];
  if (state == 7) {
    StopLoginTimer(s);
    return;
  }
  table_.StreamIdleTicks[i] += 1;
  if (state < 4) {
    if (table_.StreamIdleTicks[i] < 60) return;
  } else if (state != 9) {
    StopLoginTimer(s);
    return;
  } else if (table_.StreamIdleTicks[i] < 360) {
    return;
  }
  CloseStream(s);
  StopLoginTimer(s);
}

}  // namespace velgate
