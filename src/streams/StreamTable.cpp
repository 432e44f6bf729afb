#include "streams/StreamTable.h"

#include "platform/NumberText.h"
#include "platform/RunTimeError.h"

namespace velgate {

std::int32_t IPToNumber(std::string_view address) {
  double parts[4] = {0, 0, 0, 0};
  std::size_t start = 0;
  int count = 0;
  for (;;) {
    std::size_t dot = address.find('.', start);
    std::string_view part =
        address.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (count < 4) parts[count] = Val(part);
    ++count;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (count < 4) throw RunTimeError::SubscriptOutOfRange();
  double a = ToInteger32(parts[0]);
  double sum = parts[1] * 65536 + parts[2] * 256 + parts[3];
  double result = a <= 127 ? a * 16777216 + sum : -((a - 127) * 16777216 + sum);
  return ToInteger32(result);
}

StreamTable::StreamTable(asio::io_context& io, TimerQueue& timers, ViewModel& view,
                         TcpSocketEvents& events, std::function<void(int)> on_login_tick)
    : io_(io),
      timers_(timers),
      view_(view),
      events_(events),
      on_login_tick_(std::move(on_login_tick)) {
  // Index 0 exists from the start and never carries a stream.
  GrowStreamTable(1);
}

void StreamTable::GrowStreamTable(std::int32_t count) {
  const std::int64_t new_max = static_cast<std::int64_t>(stream_max_) + (count == 0 ? 5 : count);
  if (new_max > kMostStreams) throw RunTimeError::Overflow();
  if (new_max <= stream_max_) return;
  view_.GrowRows(static_cast<int>(new_max));
  while (stream_max_ < new_max) {
    const int s = ++stream_max_;
    Stream& stream = streams_.emplace_back();
    stream.socket = std::make_unique<TcpSocket>(io_, events_, s, kUserSendCap);
    stream.login_timer = Timer(timers_, 5000, false, [this, s] { on_login_tick_(s); });
  }
}

int StreamTable::OpenSlot(int first_stream) {
  int s = FirstClosedStream(first_stream);
  if (s < 0) {
    GrowStreamTable(0);
    s = FirstClosedStream(first_stream);
  }
  Stream& stream = At(s);
  stream.held_input.clear();
  stream.connection = NextConnID();
  stream.socket->Close();
  // A slot never inherits its last occupant's state, input or login count.
  stream.state = StreamState::kAccepted;
  stream.telnet = TelnetFilterState{};
  stream.idle_ticks = 0;
  stream.monitor_echo = true;
  return s;
}

std::int32_t StreamTable::NextConnID() {
  if (last_connection_ == 2147483647) throw RunTimeError::Overflow();
  last_connection_ += 1;
  view_.UpdateLabels([&](MainLabels& labels) { labels.lblIDnr = PlainNumber(last_connection_); });
  return last_connection_;
}

Colour StreamTable::RemoteIPcolour(int s) const {
  double tag = RoundHalfEven(Val(view_.Row(s).address.tag));
  return ListenerColour(tag >= 1 && tag <= 4 ? static_cast<int>(tag) : 0);
}

int StreamTable::FirstClosedStream(int first_stream) const {
  for (int s = first_stream < 1 ? 1 : first_stream; s <= stream_max_; ++s) {
    if (streams_[static_cast<std::size_t>(s)].socket->State() == SocketState::kClosed) return s;
  }
  return -1;
}

void StreamTable::CloseAll() {
  for (Stream& stream : streams_) {
    stream.socket->Close();
    stream.login_timer.SetEnabled(false);
  }
}

}  // namespace velgate
