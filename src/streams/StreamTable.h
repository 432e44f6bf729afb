#pragma once
// The stream table: the user socket array VelgateIn and the per-stream values, indexed by
// stream number.
//
//   index 0                                  never carries a stream
//   1 .. NumListenPorts                      listening sockets (user ports, then the bridge)
//   FirstStreamIndex .. StreamMax            streams
//
// It grows (GrowStreamTable) and never shrinks while the gateway runs; every index has its
// socket, its login timer tmrDisconnect and its status row in the view model.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"
#include "streams/TelnetFilter.h"
#include "ui/ViewModel.h"

namespace velgate {

/// A dotted IPv4 text as a number: below 128.0.0.0 positive, from there on negative.
/// RunTimeError when it has fewer than four parts or leaves the 32-bit range.
std::int32_t IPToNumber(std::string_view address);

class StreamTable {
 public:
  static constexpr std::int32_t kMostStreams = 32767;
  static constexpr std::size_t kUserSendCap = 1024 * 1024;

  /// events: receives the socket events of every index; on_login_tick: tmrDisconnect(s) ticks.
  StreamTable(asio::io_context& io, TimerQueue& timers, ViewModel& view, TcpSocketEvents& events,
              std::function<void(int)> on_login_tick);

  /// Adds count entries, or 5 when count is 0; Overflow past 32767 entries (nothing changes).
  void GrowStreamTable(std::int32_t count);
  /// The next connection number, also shown in lblIDnr; Overflow past the 32-bit range.
  std::int32_t NextConnID();
  /// The colour of stream s's address field, from the listener index in its tag.
  Colour RemoteIPcolour(int s) const;
  /// The first stream from first_stream up to StreamMax whose socket is closed, or -1.
  int FirstClosedStream(int first_stream) const;
  /// Closes every socket, listeners and streams alike, without a word to anyone.
  void CloseVelgatesIn();

  /// The highest index.
  std::int32_t StreamMax() const { return stream_max_; }
  /// The socket of index s; Subscript out of range beyond the table.
  TcpSocket& Socket(int s) {
    if (s < 0 || s > stream_max_) throw RunTimeError::SubscriptOutOfRange();
    return *VelgateIn[static_cast<std::size_t>(s)];
  }

  // The per-stream values, parallel tables over 0 .. StreamMax.
  std::vector<std::int32_t> StreamIPNumber;
  std::vector<std::string> StreamInputHolding;
  std::vector<char> StreamLineMode;
  std::vector<std::int32_t> StreamState;
  std::vector<char> StreamIsBridge;
  std::vector<char> StreamMonitorEcho;
  std::vector<std::int32_t> StreamIdleTicks;
  std::vector<std::int32_t> StreamConnID;
  /// Where each stream's telnet command filter stands between two blocks.
  std::vector<TelnetFilterState> StreamTelnet;
  /// The login-timeout timer of every index, 5000 ms, created disabled.
  std::vector<Timer> tmrDisconnect;
  /// The user socket array.
  std::vector<std::unique_ptr<TcpSocket>> VelgateIn;

  std::int32_t LastConnID = 0;
  std::int32_t StateWaitCount = 0;

 private:
  asio::io_context& io_;
  TimerQueue& timers_;
  ViewModel& view_;
  TcpSocketEvents& events_;
  std::function<void(int)> on_login_tick_;
  std::int32_t stream_max_ = -1;
};

}  // namespace velgate
