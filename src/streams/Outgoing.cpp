// Outgoing connections: the cluster asks for a TCP connection to a host, carried on a stream
// like any user's but raw (every block goes up as it comes). Its completion is the socket's
// Connect event; a failure is its Error event.

#include "codec/LinkCodec.h"
#include "platform/NumberText.h"
#include "streams/UserStreams.h"

namespace velgate {

void UserStreams::ConnectOut(std::string_view call, std::string_view host, std::string_view port) {
  try {
    const std::int32_t port_number = ToInteger32(Val(port));
    const int s = table_.OpenSlot(settings_.FirstStreamIndex);
    Stream& stream = table_.At(s);
    stream.connected_s = stream.active_s = NowSeconds();
    stream.socket->SetLocalPort(0);
    // The slot's last occupant leaves no timer behind.
    StopLoginTimer(stream);
    StatusRow& row = view_.MutableRow(s);
    row.address_tip.clear();
    row.address.text = std::string(host);
    row.address.colour = colours::kYellow;
    row.address_tag = "0";
    row.port.text = PlainNumber(port_number);
    row.call.text = std::string(call);
    row.call.colour = colours::kYellow;
    stream.socket->Connect(row.address.text, port_number);
    stream.line_mode = false;
    SendRow(s);
    table_.SetState(s, StreamState::kAnnounced);
    uplink_->SendToCluster(AA06(row.call.text, s, row.address.text, stream.connection));
  } catch (const RunTimeError& error) {
    error_log_.Write("ConnectOut", error.Description());
  }
}

}  // namespace velgate
