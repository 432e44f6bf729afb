#pragma once
// What the monitor client is sent, queued: a ring of messages that the monitor port drains.
// Producers only store; nothing is stored while no client is connected (SockState, as the
// drain last read it, is not 7). A full ring is an overflow: logged, everything queued lost,
// the ring grows by 1000.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/ErrorLog.h"
#include "ui/ViewModel.h"

namespace velgate {

class MonitorFeed {
 public:
  static constexpr std::int32_t kInitialBufferMax = 5000;

  MonitorFeed(const ViewModel& view, ErrorLogFile& error_log);

  /// Queues one message (its Chr(4) is added here).
  void SendToMonitor(std::string_view text);
  /// Queues the status row of stream s under code "^ZQ60" or "^ZQ66".
  void SendAll(std::string_view code, int s);
  /// The code for a row of stream s: "^ZQ60" when it is the monitored stream.
  const char* RowCode(int s) const { return s == MonitoredStream ? "^ZQ60" : "^ZQ66"; }
  /// Takes the next queued message into out; false when the ring is empty.
  bool TakeNext(std::string& out);

  std::int16_t SockState = 0;
  bool MonitorActive = false;
  std::int16_t MonitoredStream = 0;
  bool FollowNew = false;
  std::int32_t BufferMax = kInitialBufferMax;
  std::int32_t SendPointer = 0;
  std::int32_t StorePointer = 0;

  /// The ring's slots, 0 .. BufferMax; an empty slot is free.
  const std::vector<std::string>& MonitorBuffer() const { return ring_; }

 private:
  const ViewModel& view_;
  ErrorLogFile& error_log_;
  std::vector<std::string> ring_;
};

}  // namespace velgate
