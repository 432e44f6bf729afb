// Outgoing connections: the cluster asks for a TCP connection to a host, carried on a stream
// like any user's but raw (every block goes up as it comes). Its completion is the socket's
// Connect event; a failure is its Error event.

#include "link/ClusterLink.h"
#include "link/LinkCodec.h"
#include "platform/NumberText.h"
#include "streams/UserStreams.h"

namespace velgate {

void UserStreams::ConnectOut(std::string_view call, std::string_view host, std::string_view port) {
  try {
    const std::int32_t port_number = ToInteger32(Val(port));
    int s = table_.FirstClosedStream(settings_.FirstStreamIndex);
    if (s < 0) {
      table_.GrowStreamTable(0);
      s = table_.FirstClosedStream(settings_.FirstStreamIndex);
    }
    const std::size_t i = static_cast<std::size_t>(s);
    table_.StreamConnID[i] = table_.NextConnID();
    TcpSocket& socket = table_.Socket(s);
    socket.Close();
    socket.SetLocalPort(0);
    // The slot's last occupant leaves no timer and no login time behind.
    StopLoginTimer(s);
    StatusRow& row = view_.MutableRow(s);
    row.address.tip.clear();
    row.address.text = std::string(host);
    row.address.colour = colours::kYellow;
    row.address.tag = "0";
    row.port.text = PlainNumber(port_number);
    row.call.text = std::string(call);
    row.call.colour = colours::kYellow;
    table_.StreamMonitorEcho[i] = 1;
    socket.Connect(row.address.text, port_number);
    table_.StreamInputHolding[i].clear();
    table_.StreamLineMode[i] = 0;
    table_.StreamTelnet[i] = TelnetFilterState{};
    monitor_.SendAll("^ZQ66", s);
    table_.StreamState[i] = 2;
    link_.SendToCluster(AA06(row.call.text, s, row.address.text, table_.StreamConnID[i]));
  } catch (const RunTimeError& error) {
    error_log_.Write("ConnectOut", error.Description());
  }
}

}  // namespace velgate
