// Admission: a connection request on a user or bridge listener becomes a stream, in this order:
// watchdog, rate guard (user ports only: the bridge brings many callers from one program),
// per-address limit, highwater, a caller that has already hung up, a free stream, accept, status
// row, lock-out test, the offline notice or the announcement to the cluster. Each step takes the
// same time however many streams there are.

#include <cassert>

#include "codec/LinkCodec.h"
#include "codec/MonitorMessages.h"
#include "platform/NumberText.h"
#include "protection/LockOuts.h"
#include "streams/UserStreams.h"

namespace velgate {
namespace {

constexpr std::int32_t kMostPerAddress = 8;

}  // namespace

void UserStreams::OnConnectionRequest(int index, PendingConnection& request) {
  int examined = 0;
  try {
    Admit(index, request, examined);
  } catch (const RunTimeError& error) {
    error_log_.Write("VelgateIn_ConnectRequest", "");
    view_.Alert("ConnectRequest & x =  " + PlainNumber(examined),
                "Unexpected error # " + PlainNumber(error.Number()) + " occurred: \r\n" +
                    error.Description());
  }
}

void UserStreams::Admit(int index, PendingConnection& request, int& examined) {
  watchdog_.Reset(index);
  const std::string address = request.RemoteHostIP();
  const std::uint64_t key = request.RemoteAddress().CountKey();
  const bool bridge = settings_.AGWEnabled != 0 && index >= settings_.AGWIndex;
  if (!bridge && RefusedForRate(address, key, request, table_.Socket(index).LocalPort())) {
    return;
  }
  // The table keeps the counts a walk over every stream would give (checked in test builds).
  assert(table_.CountsAgree(settings_.FirstStreamIndex));
  if (table_.ConnectedFrom(key) > kMostPerAddress) {
    // Taken and closed at once, without a word: the listener itself keeps listening.
    oplog_.Record(
        oplog::Refused{address, table_.Socket(index).LocalPort(), Refusal::kPerAddressLimit});
    request.Refuse();
    return;
  }
  examined = table_.StreamMax();
  highwater_.UpdateHighwater(table_.LoggedInUsers());
  if (request.HungUp()) {
    // Gone before its turn, as a storm's callers mostly are: it has its connection number, as
    // every caller past this point, but the cluster never hears of it.
    table_.NextConnID();
    request.Refuse();
    return;
  }

  const int s = table_.OpenSlot(settings_.FirstStreamIndex);
  examined = s;
  Stream& stream = table_.At(s);
  stream.connected_s = stream.active_s = NowSeconds();
  stream.login_timer.Restart();
  TcpSocket& socket = *stream.socket;
  socket.Accept(request);
  stream.end_untold = true;

  stream.line_mode = true;
  StatusRow& row = view_.MutableRow(s);
  row.address_tip.clear();
  row.address.text = socket.RemoteHostIP();
  row.address_tag = PlainNumber(index);
  table_.SetAddressKey(s, key);
  stream.is_bridge = bridge;
  if (monitor_.FollowNew) monitor_.MonitoredStream = static_cast<std::int16_t>(s);
  uplink_->SendToCluster(AA02(settings_.FirstStreamIndex, table_.StreamMax()));

  row.address.text = stream.is_bridge ? "AGW/BPQ" : socket.RemoteHostIP();
  row.address.colour = colours::kYellow;
  row.port.text = PlainNumber(socket.RemotePort());
  if (LockedOut(address, s)) {
    TellRefused(socket, Refusal::kLockedOut);
    return;
  }
  row.call.text.clear();
  row.call.colour = colours::kWhite;
  if (!uplink_->ClusterOnline()) {
    socket.SendData("Cluster is offline.  Please try later.\r\n");
    return;
  }
  row.port.colour = colours::kWhite;
  SendRow(s);
  table_.SetState(s, StreamState::kAnnounced);
  row.address.colour = table_.RemoteIPcolour(s);
  uplink_->SendToCluster(
      AA03ConnectRequest(s, row.address.text, row.address_tag, stream.connection));
}

bool UserStreams::RefusedForRate(const std::string& address, std::uint64_t key,
                                 PendingConnection& request, int local_port) {
  const auto verdict =
      rate_guard_.Ask(key, clock_.SteadyMs(), {settings_.RateLimit, settings_.RateWindow});
  if (verdict == RateGuard::Verdict::kAllowed) return false;
  if (verdict == RateGuard::Verdict::kFirstRefusal) {
    oplog_.Record(oplog::Refused{address, local_port, Refusal::kRate});
    rate_spells_timer_.SetEnabled(true);
  }
  request.Refuse();
  return true;
}

void UserStreams::EndRateSpells() {
  rate_guard_.EndSpells(clock_.SteadyMs());
  if (rate_guard_.OpenSpells() == 0) rate_spells_timer_.SetEnabled(false);
}

bool UserStreams::LockedOut(const std::string& address, int s) {
  std::int32_t match = 0;
  try {
    match = FirstMatchingLockOut(settings_, address);
    if (match == 0) return false;
    StatusRow& row = view_.MutableRow(s);
    row.call.text = "IP Locked Out";
    row.call.colour = colours::kGreen;
    row.address.colour = table_.RemoteIPcolour(s);
    row.port.colour = colours::kLightPink;
    table_.SetState(s, StreamState::kRefused);
    if (monitor_.MonitorActive && monitor_.Storing()) {
      monitor_.SendToMonitor(monitor_messages::Row(monitor_.Selected(s), s, row));
    }
    return true;
  } catch (const RunTimeError&) {
    error_log_.Write("LockedOut", address);
    return match != 0;
  }
}

}  // namespace velgate
