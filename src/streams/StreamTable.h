#pragma once
// The stream table: one Stream per index, and its status row in the view model.
//
//   index 0                                  never carries a stream
//   1 .. NumListenPorts                      listening sockets (user ports, then the bridge)
//   FirstStreamIndex .. StreamMax            streams
//
// It grows (GrowStreamTable) and never shrinks while the gateway runs.

#include <cstdint>
#include <deque>
#include <functional>
#include <string_view>

#include "model/ViewModel.h"
#include "platform/RunTimeError.h"
#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"
#include "streams/Stream.h"

namespace velgate {

/// A dotted IPv4 text as a number: below 128.0.0.0 positive, from there on negative.
/// RunTimeError when it has fewer than four parts or leaves the 32-bit range.
std::int32_t IPToNumber(std::string_view address);

class StreamTable {
 public:
  static constexpr std::int32_t kMostStreams = 32767;
  static constexpr std::size_t kUserSendCap = 1024 * 1024;

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
  /// The colour of stream s's address field, from the listener index in its tag.
  Colour RemoteIPcolour(int s) const;
  /// Closes every socket, listeners and streams alike, and stops every login timer.
  void CloseAll();

  /// The highest index.
  std::int32_t StreamMax() const { return stream_max_; }
  /// The last connection number given out, also shown in lblIDnr.
  std::int32_t LastConnID() const { return last_connection_; }

 private:
  std::int32_t NextConnID();

  asio::io_context& io_;
  TimerQueue& timers_;
  ViewModel& view_;
  TcpSocketEvents& events_;
  std::function<void(int)> on_login_tick_;
  std::deque<Stream> streams_;  // a deque: a Stream stays in place while the table grows
  std::int32_t stream_max_ = -1;
  std::int32_t last_connection_ = 0;
};

}  // namespace velgate
