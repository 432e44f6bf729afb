#pragma once
// What the monitor client is sent, queued: a ring of messages that the monitor port drains.
// Producers only store; nothing is stored while no client is connected (SockState, as the
// drain last read it, is not 7). A full ring is an overflow: logged, everything queued lost,
// the ring grows by 1000 (up to a bound). The bytes queued are bounded too, and a slot gives its
// memory back once its message is taken.

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
  /// The ring grows no further than this many slots.
  static constexpr std::int32_t kLargestBufferMax = 50000;
  /// The most bytes queued at once; one more message is an overflow.
  static constexpr std::size_t kMaxQueuedBytes = 8 * 1024 * 1024;

  explicit MonitorFeed(ErrorLogFile& error_log);

  /// Queues one message (its Chr(4) is added here).
  void SendToMonitor(std::string_view text);
  /// Whether messages are stored now: a client was connected at the last drain.
  bool Storing() const { return SockState == SocketState::kConnected; }
  /// Whether stream s is the one the client follows.
  bool Selected(int s) const { return s == MonitoredStream; }
  /// Takes the next queued message into out; false when the ring is empty.
  bool TakeNext(std::string& out);
  /// Forgets everything queued (a new client starts with nothing meant for the one before).
  void Clear();
  /// The bytes of the messages queued.
  std::size_t QueuedBytes() const { return queued_bytes_; }

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
  std::size_t queued_bytes_ = 0;
};

}  // namespace velgate
