#include "streams/StreamTable.h"

#include "platform/NumberText.h"
#include "platform/RunTimeError.h"

namespace velgate {

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
    stream.socket->SetStateListener(this);
    closed_.insert(s);
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
  SetState(s, StreamState::kAccepted);
  stream.telnet = TelnetFilterState{};
  stream.idle_ticks = 0;
  stream.monitor_echo = true;
  stream.end_untold = false;
  stream.login_asked = false;
  return s;
}

std::int32_t StreamTable::NextConnID() {
  if (last_connection_ == 2147483647) throw RunTimeError::Overflow();
  last_connection_ += 1;
  view_.UpdateLabels([&](MainLabels& labels) { labels.lblIDnr = PlainNumber(last_connection_); });
  return last_connection_;
}

Colour StreamTable::RemoteIPcolour(int s) const {
  double tag = RoundHalfEven(Val(view_.Row(s).address_tag));
  return ListenerColour(tag >= 1 && tag <= 4 ? static_cast<int>(tag) : 0);
}

int StreamTable::FirstClosedStream(int first_stream) const {
  const auto found = closed_.lower_bound(first_stream < 1 ? 1 : first_stream);
  return found == closed_.end() ? -1 : *found;
}

void StreamTable::SetState(int s, StreamState state) {
  Stream& stream = At(s);
  Count(stream, -1);
  stream.state = state;
  Count(stream, +1);
}

void StreamTable::SetAddressKey(int s, std::uint64_t key) {
  Stream& stream = At(s);
  Count(stream, -1);
  stream.address_key = key;
  Count(stream, +1);
}

std::int32_t StreamTable::ConnectedFrom(std::uint64_t key) const {
  const auto found = connected_per_address_.find(key);
  return found == connected_per_address_.end() ? 0 : found->second;
}

void StreamTable::Count(const Stream& stream, int delta) {
  if (stream.socket->State() == SocketState::kConnected) CountConnected(stream, delta);
}

void StreamTable::CountConnected(const Stream& stream, int delta) {
  if (stream.state == StreamState::kLoggedIn) logged_in_connected_ += delta;
  std::int32_t& same = connected_per_address_[stream.address_key];
  same += delta;
  if (same == 0) connected_per_address_.erase(stream.address_key);
}

void StreamTable::OnSocketState(int s, SocketState from, SocketState to) {
  if (from == SocketState::kClosed) closed_.erase(s);
  if (to == SocketState::kClosed) closed_.insert(s);
  const Stream& stream = streams_[static_cast<std::size_t>(s)];
  if (from == SocketState::kConnected) CountConnected(stream, -1);
  if (to == SocketState::kConnected) {
    CountConnected(stream, +1);
    stream.socket->ApplyOptions(options_);
  }
}

bool StreamTable::CountsAgree(int first_stream) const {
  std::int32_t users = 0;
  std::unordered_map<std::uint64_t, std::int32_t> per_address;
  std::set<int> closed;
  for (int s = 0; s <= stream_max_; ++s) {
    const Stream& stream = streams_[static_cast<std::size_t>(s)];
    if (stream.socket->State() == SocketState::kClosed) closed.insert(s);
    if (s < first_stream || stream.socket->State() != SocketState::kConnected) continue;
    if (stream.state == StreamState::kLoggedIn) ++users;
    ++per_address[stream.address_key];
  }
  return users == logged_in_connected_ && per_address == connected_per_address_ &&
         closed == closed_;
}

void StreamTable::CloseAll() {
  for (Stream& stream : streams_) {
    stream.socket->Close();
    stream.login_timer.SetEnabled(false);
  }
}

}  // namespace velgate
