#pragma once
// The stream table: one Stream per index, and its status row in the view model.
//
//   index 0                                  never carries a stream
//   1 .. NumListenPorts                      listening sockets (user ports, then the bridge)
//   FirstStreamIndex .. StreamMax            streams
//
// It grows (GrowStreamTable) and never shrinks while the gateway runs. It keeps running counts
// of what admission asks at every connection request (callers per address, logged-in users,
// the lowest closed stream), so a request costs the same with 19,000 streams as with 100: a
// stream's state and address number change through the table, and its socket tells the table
// of every change of its own state.

#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string_view>
#include <unordered_map>

#include "model/ViewModel.h"
#include "platform/RunTimeError.h"
#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"
#include "streams/Stream.h"

namespace velgate {

/// A dotted IPv4 text as a number: below 128.0.0.0 positive, from there on negative.
/// RunTimeError when it has fewer than four parts or leaves the 32-bit range.

class StreamTable final : private SocketStateListener {
 public:
  static constexpr std::int32_t kMostStreams = 32767;
  static constexpr std::size_t kUserSendCap = 1024 * 1024;
  /// The kernel's send buffer asked for a user's socket: with the cap above, a user who stops
  /// reading pins about 1.1 MiB in all (the kernel doubles what it is asked for).
  static constexpr int kUserSendBuffer = 64 * 1024;

  /// events: receives the socket events of every index; on_login_tick: a login timer ticked.
  StreamTable(asio::io_context& io, TimerQueue& timers, ViewModel& view, TcpSocketEvents& events,
              std::function<void(int)> on_login_tick);

  /// Stream s; Subscript out of range beyond the table.
  Stream& At(int s) {
    if (s < 0 || s > stream_max_) throw RunTimeError::SubscriptOutOfRange();
    return streams_[static_cast<std::size_t>(s)];
  }
  const Stream& At(int s) const { return const_cast<StreamTable*>(this)->At(s); }
  /// The socket of index s; Subscript out of range beyond the table.
  TcpSocket& Socket(int s) { return *At(s).socket; }

  /// Adds count entries, or 5 when count is 0; Overflow past 32767 entries (nothing changes).
  void GrowStreamTable(std::int32_t count);
  /// Takes the first closed stream from first_stream on (growing the table when there is none)
  /// for a new occupant: a new connection number, the socket closed, nothing left of the last
  /// occupant's input, telnet state or login count; monitor traces on. Returns its index.
  int OpenSlot(int first_stream);
  /// The first stream from first_stream up to StreamMax whose socket is closed, or -1.
  int FirstClosedStream(int first_stream) const;
  /// Sets stream s's state.
  void SetState(int s, StreamState state);
  /// Sets stream s's caller's address number.
  void SetAddressKey(int s, std::uint64_t key);
  /// Connected streams whose caller has the address number.
  std::int32_t ConnectedFrom(std::uint64_t key) const;
  /// Connected streams whose user is logged in.
  std::int32_t LoggedInUsers() const { return logged_in_connected_; }
  /// Whether the running counts are what a walk over the streams from first_stream finds.
  bool CountsAgree(int first_stream) const;
  /// The colour of stream s's address field, from the listener index in its tag.
  Colour RemoteIPcolour(int s) const;
  /// What every stream's connection is set to from its next connection on.
  void SetConnectionOptions(const ConnectionOptions& options) { options_ = options; }
  /// Closes every socket, listeners and streams alike, and stops every login timer.
  void CloseAll();

  /// The highest index.
  std::int32_t StreamMax() const { return stream_max_; }
  /// The last connection number given out, also shown in lblIDnr.
  std::int32_t LastConnID() const { return last_connection_; }
  /// Gives out the next connection number (OpenSlot takes one for every stream it opens).
  std::int32_t NextConnID();

 private:
  void OnSocketState(int s, SocketState from, SocketState to) override;
  // Adds (+1) or takes away (-1) a stream's share of the counts, when it is connected.
  void Count(const Stream& stream, int delta);
  void CountConnected(const Stream& stream, int delta);

  asio::io_context& io_;
  TimerQueue& timers_;
  ViewModel& view_;
  TcpSocketEvents& events_;
  std::function<void(int)> on_login_tick_;
  std::deque<Stream> streams_;  // a deque: a Stream stays in place while the table grows
  std::int32_t stream_max_ = -1;
  std::int32_t last_connection_ = 0;
  std::set<int> closed_;  // indices whose socket is closed
  std::unordered_map<std::uint64_t, std::int32_t> connected_per_address_;
  std::int32_t logged_in_connected_ = 0;
  ConnectionOptions options_{kUserSendBuffer, 0};
};

}  // namespace velgate
