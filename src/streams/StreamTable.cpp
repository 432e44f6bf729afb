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
  const std::int32_t old_max = stream_max_;
  const std::int64_t new_max = static_cast<std::int64_t>(old_max) + (count == 0 ? 5 : count);
  if (new_max > kMostStreams) throw RunTimeError::Overflow();
  if (new_max <= old_max) return;
  stream_max_ = static_cast<std::int32_t>(new_max);
  const std::size_t size = static_cast<std::size_t>(new_max) + 1;
  StreamIPNumber.resize(size, 0);
  StreamInputHolding.resize(size);
  StreamLineMode.resize(size, 0);
  StreamState.resize(size, 0);
  StreamIsBridge.resize(size, 0);
  StreamMonitorEcho.resize(size, 0);
  StreamIdleTicks.resize(size, 0);
  StreamConnID.resize(size, 0);
  StreamTelnet.resize(size);
  tmrDisconnect.reserve(size);
  VelgateIn.reserve(size);
  view_.GrowRows(static_cast<int>(new_max));
  for (std::int32_t i = old_max + 1; i <= stream_max_; ++i) {
    tmrDisconnect.emplace_back(timers_, 5000, false, [this, i] { on_login_tick_(i); });
    VelgateIn.push_back(std::make_unique<TcpSocket>(io_, events_, i, kUserSendCap));
  }
}

std::int32_t StreamTable::NextConnID() {
  if (LastConnID == 2147483647) throw RunTimeError::Overflow();
  LastConnID += 1;
  view_.UpdateLabels([&](MainLabels& labels) { labels.lblIDnr = PlainNumber(LastConnID); });
  return LastConnID;
}

Colour StreamTable::RemoteIPcolour(int s) const {
  double tag = RoundHalfEven(Val(view_.Row(s).address.tag));
  return ListenerColour(tag >= 1 && tag <= 4 ? static_cast<int>(tag) : 0);
}

int StreamTable::FirstClosedStream(int first_stream) const {
  for (int s = first_stream < 1 ? 1 : first_stream; s <= stream_max_; ++s) {
    const auto& socket = VelgateIn[static_cast<std::size_t>(s)];
    if (socket && socket->State() == SocketState::kClosed) return s;
  }
  return -1;
}

void StreamTable::CloseVelgatesIn() {
  for (auto& socket : VelgateIn) {
    if (socket) socket->Close();
  }
}

}  // namespace velgate
