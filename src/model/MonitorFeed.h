#pragma once
// What the monitor client is sent, queued: a ring of messages that the monitor port drains.
// Producers only store; nothing is stored while no client is connected (SockState, as the
// drain last read it, is not 7). A full ring is an overflow: logged, everything queued lost,
// the ring grows by 1000.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/ErrorLog.h"
#include "platform/TcpSocket.h"

namespace velgate {

class MonitorFeed {
 public:
  static constexpr std::int32_t kInitialBufferMax = 5000;

  explicit MonitorFeed(ErrorLogFile& error_log);

  /// Queues one message (its Chr(4) is added here).
  void SendToMonitor(std::string_view text);
  /// Whether messages are stored now: a client was connected at the last drain.
  bool Storing() const { return SockState == SocketState::kConnected; }
  /// Whether stream s is the one the client follows.
  bool Selected(int s) const { return s == MonitoredStream; }
  /// Takes the next queued message into out; false when the ring is empty.
  bool TakeNext(std::string& out);

  /// The monitor socket's state as the drain last read it.
  SocketState SockState = SocketState::kClosed;
  bool MonitorActive = false;
  std::int16_t MonitoredStream = 0;
  bool FollowNew = false;
  std::int32_t BufferMax = kInitialBufferMax;
  std::int32_t SendPointer = 0;
  std::int32_t StorePointer = 0;

  /// The ring's slots, 0 .. BufferMax; an empty slot is free.
  const std::vector<std::string>& MonitorBuffer() const { return ring_; }

 private:
  ErrorLogFile& error_log_;
  std::vector<std::string> ring_;
};

}  // namespace velgate
