#include "streams/UserStreams.h"

#include "link/ClusterLink.h"
#include "link/LinkCodec.h"

namespace velgate {
namespace {

std::string WithoutEtx(std::string_view text) {
  std::string cleaned;
  cleaned.reserve(text.size());
  for (char c : text) {
    if (c != kEtx) cleaned += c;
  }
  return cleaned;
}

}  // namespace

UserStreams::UserStreams(asio::io_context& io, TimerQueue& timers, ViewModel& view,
                         Settings& settings, ErrorLogFile& error_log, ClusterLink& link,
                         MonitorFeed& monitor)
    : view_(view),
      settings_(settings),
      error_log_(error_log),
      link_(link),
      monitor_(monitor),
      table_(io, timers, view, *this, [this](int s) { LoginTimerTick(s); }) {}

void UserStreams::SendToStream(int s, std::string_view text) {
  TcpSocket& socket = table_.Socket(s);
  if (socket.State() == SocketState::kConnected) {
    socket.SendData(text);
  } else {
    ReportStreamEnded(s);
  }
}

void UserStreams::ReportStreamEnded(int s) {
  table_.StreamIPNumber[static_cast<std::size_t>(s)] = 0;
  StatusRow& row = view_.MutableRow(s);
  row.address.colour = colours::kWhite;
  row.call.colour = colours::kWhite;
  monitor_.SendAll("^ZQ66", s);
  link_.SendToCluster(AA17(WithoutEtx(row.call.text), s, "0"));
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
}

void UserStreams::OnConnectionRequest(int, PendingConnection& request) {
  // Admission is not served yet: the caller is turned away without a byte.
  request.Refuse();
}

void UserStreams::OnDataArrival(int, std::string_view) {}
void UserStreams::OnConnect(int) {}
void UserStreams::OnClose(int) {}
void UserStreams::OnError(int, const RunTimeError&) {}
void UserStreams::LoginTimerTick(int) {}

}  // namespace velgate
