#include "link/ClusterDispatch.h"

#include "base/Dates.h"
#include "codec/MonitorMessages.h"
#include "platform/NumberText.h"

namespace velgate {
namespace {

std::string_view Field(const LinkFields& fields, std::size_t i) {
  if (i >= fields.size()) throw RunTimeError::SubscriptOutOfRange();
  return fields[i];
}

std::int32_t ConnectionField(const LinkFields& fields) {
  std::optional<std::int32_t> connection = ParseStrictInteger(Field(fields, 3));
  if (!connection) throw RunTimeError::TypeMismatch();
  return *connection;
}

std::string WithLineEnd(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return line;
}

}  // namespace

ClusterDispatch::ClusterDispatch(UserStreams& streams, ClusterUplink& uplink, ViewModel& view,
                                 MonitorFeed& monitor, const Clock& clock, OperationsLog& oplog,
                                 ErrorLogFile& error_log)
    : streams_(streams),
      table_(streams.Table()),
      uplink_(uplink),
      view_(view),
      monitor_(monitor),
      clock_(clock),
      oplog_(oplog),
      error_log_(error_log) {}

bool ClusterDispatch::AwaitsLoginAnswer(int s) const {
  const Stream& stream = table_.At(s);
  if (stream.socket->State() != SocketState::kConnected) return false;
  return stream.login_asked || stream.state == StreamState::kLoggedIn ||
         view_.Row(s).address_tag == "0";
}

void ClusterDispatch::Dispatch(int code, int s, const LinkFields& fields, int& marker) {
  if (code >= 4 && code <= 7 && !AwaitsLoginAnswer(s)) {
    error_log_.Write("VelgateCluster_DataArrival", "login answer " + PlainNumber(code) +
                                                       " for stream " + PlainNumber(s) +
                                                       " dropped: its caller asked for none");
    return;
  }
  CopyToMonitor(s, fields, marker);
  marker = 74;
  switch (code) {
    case 0:
      DeliverText(s, fields, marker);
      return;
    case 2:
      view_.MutableRow(s).port_tip = std::string(Field(fields, 2));
      break;
    case 3: {
      marker = 77;
      std::string_view text = Field(fields, 2);
      if (text == "login: ") {
        streams_.SendToStream(s, text);
      } else {
        streams_.SendToStream(s, WithLineEnd(text));
      }
      break;
    }
    case 4:
    case 5:
    case 6:
      marker = 74 + code;
      ConfirmLogin(s, code, fields);
      break;
    case 7:
      table_.SetState(s, StreamState::kLoginSent);
      view_.MutableRow(s).call.colour = colours::kLightPink;
      streams_.SendToStream(s, WithLineEnd(Field(fields, 2)));
      break;
    case 8:
      marker = 81;
      CloseOrdered(s, fields);
      break;
    default:
      return;
  }
  marker = 90;
}

void ClusterDispatch::CopyToMonitor(int s, const LinkFields& fields, int& marker) {
  marker = 70;
  // A message without a text field has nothing to copy; it is still carried out.
  if (!monitor_.MonitorActive || fields.size() < 3) return;
  marker = 71;
  if (monitor_.Selected(s)) {
    marker = 73;
    monitor_.SendToMonitor(monitor_messages::OutputCopy(fields[2]));
  }
  if (table_.At(s).monitor_echo) monitor_.SendToMonitor(monitor_messages::Trace(s, fields[2]));
}

void ClusterDispatch::DeliverText(int s, const LinkFields& fields, int& marker) {
  marker = 75;
  const Stream& stream = table_.At(s);
  if (fields.size() == 4 && ConnectionField(fields) != stream.connection) {
    // For an earlier occupant of the stream: dropped, unless the stream has no connection.
    if (stream.connection != 0) return;
    streams_.ReportStreamEnded(s);
  }
  if (stream.state == StreamState::kLoggedIn) {
    streams_.SendToStream(s, Field(fields, 2));
  } else {
    marker = 76;
  }
}

void ClusterDispatch::ConfirmLogin(int s, int code, const LinkFields& fields) {
  Stream& stream = table_.At(s);
  const bool newly = stream.state != StreamState::kLoggedIn;
  if (newly) stream.logged_in_s = static_cast<std::uint32_t>(clock_.SteadyMs() / 1000);
  table_.SetState(s, StreamState::kLoggedIn);
  stream.login_timer.SetEnabled(false);
  StatusRow& row = view_.MutableRow(s);
  if (code == 6) {
    row.call.colour = colours::kGreen;
    row.port.colour = colours::kGreen;
    SendRowToMonitor(s);
    if (newly) TellLoggedIn(s);
    return;
  }
  if (code == 4) {
    row.port_tip.clear();
    row.port.colour = colours::kYellow;
  } else {
    row.port.colour = colours::kCyan;
  }
  row.call.text = std::string(Field(fields, 2));
  const std::string login_time = LoginTimeStamp(clock_.Now().utc);
  row.address_tip = login_time;
  uplink_.SendStraight(AA04(s, login_time, code == 4));
  row.address.colour = table_.RemoteIPcolour(s);
  row.call.colour = colours::kGreen;
  SendRowToMonitor(s);
  if (newly) TellLoggedIn(s);
}

void ClusterDispatch::TellLoggedIn(int s) {
  const TcpSocket& socket = table_.Socket(s);
  oplog_.Record(
      oplog::UserLoggedIn{s, view_.Row(s).call.text, socket.RemoteHostIP(), socket.LocalPort()});
}

void ClusterDispatch::CloseOrdered(int s, const LinkFields& fields) {
  if (fields.size() < 4) {
    streams_.ReportStreamEnded(s);
    streams_.VelgateInForceClose(s);
  } else if (ConnectionField(fields) == table_.At(s).connection) {
    // Asked for by the cluster itself: nothing to report back.
    streams_.VelgateInForceClose(s);
  }
}

void ClusterDispatch::SendRowToMonitor(int s) {
  if (monitor_.MonitorActive && monitor_.Storing()) {
    monitor_.SendToMonitor(monitor_messages::Row(monitor_.Selected(s), s, view_.Row(s)));
  }
}

}  // namespace velgate
