// Admission: a connection request on a user or bridge listener becomes a stream, in this order:
// watchdog, per-address limit, highwater, a free stream, accept, status row, lock-out test,
// the offline notice or the announcement to the cluster.

#include "link/ClusterLink.h"
#include "link/LinkCodec.h"
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
  on_listener_request_(index);
  const std::string address = request.RemoteHostIP();
  const std::int32_t number = IPToNumber(address);

  std::int32_t users = 0;
  std::int32_t same = 0;
  for (int s = settings_.FirstStreamIndex; s <= table_.StreamMax(); ++s) {
    examined = s;
    if (table_.Socket(s).State() != SocketState::kConnected) continue;
    const std::size_t i = static_cast<std::size_t>(s);
    if (table_.StreamState[i] == 7) ++users;
    if (table_.StreamIPNumber[i] == number && ++same > kMostPerAddress) {
      // Taken and closed at once, without a word: the listener itself keeps listening.
      request.Refuse();
      return;
    }
  }
  highwater_.UpdateHighwater(users);

  int s = table_.FirstClosedStream(settings_.FirstStreamIndex);
  if (s < 0) {
    const std::int32_t old_max = table_.StreamMax();
    table_.GrowStreamTable(0);
    s = old_max + 1;
  }
  examined = s;
  const std::size_t i = static_cast<std::size_t>(s);
  table_.tmrDisconnect[i].Restart();
  table_.StreamInputHolding[i].clear();
  table_.StreamConnID[i] = table_.NextConnID();
  TcpSocket& socket = table_.Socket(s);
  socket.Close();
  socket.Accept(request);

  // A slot never inherits its last occupant's state, line mode or login time.
  table_.StreamState[i] = 0;
  table_.StreamLineMode[i] = 1;
  table_.StreamTelnet[i] = TelnetFilterState{};
  StatusRow& row = view_.MutableRow(s);
  row.address.tip.clear();
  row.address.text = socket.RemoteHostIP();
  row.address.tag = PlainNumber(index);
  table_.StreamIPNumber[i] = number;
  table_.StreamIdleTicks[i] = 0;
  table_.StreamIsBridge[i] = settings_.AGWEnabled != 0 && index >= settings_.AGWIndex;
  table_.StreamMonitorEcho[i] = 1;
  if (monitor_.FollowNew) monitor_.MonitoredStream = static_cast<std::int16_t>(s);
  link_.SendToCluster(AA02(settings_.FirstStreamIndex, table_.StreamMax()));

  row.address.text = table_.StreamIsBridge[i] ? "AGW/BPQ" : socket.RemoteHostIP();
  row.address.colour = colours::kYellow;
  row.port.text = PlainNumber(socket.RemotePort());
  if (LockedOut(address, s)) return;
  row.call.text.clear();
  row.call.colour = colours::kWhite;
  if (!link_.ClusterOnline()) {
    socket.SendData("Cluster is offline.  Please try later.\r\n");
    return;
  }
  row.port.colour = colours::kWhite;
  monitor_.SendAll("^ZQ66", s);
  table_.StreamState[i] = 2;
  row.address.colour = table_.RemoteIPcolour(s);
  link_.SendToCluster(
      AA03ConnectRequest(s, row.address.text, row.address.tag, table_.StreamConnID[i]));
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
    table_.StreamState[static_cast<std::size_t>(s)] = 9;
    if (monitor_.MonitorActive) monitor_.SendAll(monitor_.RowCode(s), s);
    return true;
  } catch (const RunTimeError&) {
    error_log_.Write("LockedOut", address);
    return match != 0;
  }
}

}  // namespace velgate
