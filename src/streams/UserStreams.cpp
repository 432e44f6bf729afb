// Delivering to streams and ending them; the login timeout; an outgoing connection's completion.

#include "streams/UserStreams.h"

#include <algorithm>

#include "codec/LinkCodec.h"
#include "codec/MonitorMessages.h"
#include "platform/NumberText.h"

namespace velgate {
namespace {

void PaintEnded(StatusRow& row) {
  row.address.colour = colours::kWhite;
  row.call.colour = colours::kWhite;
}

}  // namespace

UserStreams::UserStreams(asio::io_context& io, TimerQueue& timers, Parts parts)
    : view_(parts.view),
      settings_(parts.settings),
      error_log_(parts.error_log),
      monitor_(parts.monitor),
      highwater_(parts.highwater),
      watchdog_(parts.watchdog),
      oplog_(parts.oplog),
      clock_(parts.clock),
      table_(io, timers, parts.view, *this, [this](int s) { LoginTimerTick(s); }),
      rate_guard_([this](const RateGuard::SpellEnded& ended) {
        oplog_.Record(oplog::RateSpellEnded{IpAddress::CountKeyText(ended.key), ended.refused});
      }),
      rate_spells_timer_(timers, 1000, false, [this] { EndRateSpells(); }) {}

void UserStreams::SendToStream(int s, std::string_view text) {
  TcpSocket& socket = table_.Socket(s);
  if (socket.State() == SocketState::kConnected) {
    socket.SendData(text);
  } else if (socket.State() != SocketState::kError) {
    ReportStreamEnded(s);
  }
  // A socket that has just failed reports its ending once, through its Error event.
}

void UserStreams::SendRow(int s) {
  if (monitor_.Storing()) {
    monitor_.SendToMonitor(monitor_messages::Row(false, s, view_.Row(s)));
  }
}

void UserStreams::StopLoginTimer(Stream& stream) {
  stream.login_timer.SetEnabled(false);
  stream.idle_ticks = 0;
}

void UserStreams::ReportStreamEnded(int s) {
  Stream& stream = table_.At(s);
  table_.SetAddressKey(s, IpAddress::kNoCountKey);
  StatusRow& row = view_.MutableRow(s);
  PaintEnded(row);
  SendRow(s);
  std::string call = row.call.text;
  std::erase(call, kEtx);
  uplink_->SendToCluster(AA17(call, s, "0"));
  // A stream reported gone must not be ended a second time by its login timer.
  if (stream.socket->State() != SocketState::kConnected) StopLoginTimer(stream);
}

void UserStreams::TellEnded(int s, StreamEnding how) {
  Stream& stream = table_.At(s);
  if (!stream.end_untold) return;
  stream.end_untold = false;
  oplog_.Record(oplog::UserEnded{s, view_.Row(s).call.text, how});
}

void UserStreams::TellRefused(const TcpSocket& socket, Refusal reason) {
  oplog_.Record(oplog::Refused{socket.RemoteHostIP(), socket.LocalPort(), reason});
}

void UserStreams::VelgateInForceClose(int s) {
  TellEnded(s, StreamEnding::kClusterClosed);
  Stream& stream = table_.At(s);
  PaintEnded(view_.MutableRow(s));
  table_.SetAddressKey(s, IpAddress::kNoCountKey);
  SendRow(s);
  stream.socket->CloseAndReset();
  table_.SetState(s, StreamState::kAccepted);
  stream.connection = 0;
  StopLoginTimer(stream);
}

void UserStreams::CloseStream(int s, StreamEnding how) {
  try {
    TellEnded(s, how);
    Stream& stream = table_.At(s);
    std::string call = view_.Row(s).call.text;
    std::replace(call.begin(), call.end(), kEtx, '\0');
    uplink_->SendToCluster(AA17(call, s, PlainNumber(stream.connection)));
    stream.socket->CloseAndReset();
    StatusRow& row = view_.MutableRow(s);
    row.port.colour = colours::kWhite;
    PaintEnded(row);
    row.address_tip.clear();
    SendRow(s);
    table_.SetAddressKey(s, IpAddress::kNoCountKey);
    StopLoginTimer(stream);
  } catch (const RunTimeError&) {
    error_log_.Write("VelgateIn_Close", PlainNumber(s));
  }
}

void UserStreams::OnClose(int s) {
  CloseStream(s);
}

void UserStreams::OnError(int s, const RunTimeError& error) {
  TellEnded(s, error.Number() == RunTimeError::kSendCapReached ? StreamEnding::kQueueCap
                                                               : StreamEnding::kFailed);
  ReportStreamEnded(s);
  VelgateInForceClose(s);
}

void UserStreams::OnConnect(int s) {
  try {
    StatusRow& row = view_.MutableRow(s);
    row.call.colour = colours::kGreen;
    row.address.colour = colours::kCyan;
    if (!uplink_->SendStraight(AA38Outgoing(row.call.text, s, row.address.text))) {
      throw RunTimeError::WrongConnectionState();
    }
  } catch (const RunTimeError&) {
    error_log_.Write("VelgateIn_Connect", PlainNumber(s));
  }
}

void UserStreams::LoginTimerTick(int s) {
  Stream& stream = table_.At(s);
  if (stream.state == StreamState::kLoggedIn) {
    StopLoginTimer(stream);
    return;
  }
  stream.idle_ticks += 1;
  if (AwaitingLogin(stream.state)) {
    if (stream.idle_ticks < 60) return;
  } else if (stream.state != StreamState::kRefused) {
    StopLoginTimer(stream);
    return;
  } else if (stream.idle_ticks < 360) {
    return;
  }
  CloseStream(s, stream.state == StreamState::kRefused ? StreamEnding::kRefusedTimeout
                                                       : StreamEnding::kLoginTimeout);
  StopLoginTimer(stream);
}

}  // namespace velgate
