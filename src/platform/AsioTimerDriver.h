#pragma once
// Runs a TimerQueue on one Asio steady timer, armed for the earliest due timer.

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include "platform/TimerQueue.h"

namespace velgate {

class AsioTimerDriver {
 public:
  /// The queue must read a SystemClock, whose steady time is the steady_clock's.
  AsioTimerDriver(asio::io_context& io, TimerQueue& queue);
  AsioTimerDriver(const AsioTimerDriver&) = delete;
  AsioTimerDriver& operator=(const AsioTimerDriver&) = delete;
  ~AsioTimerDriver();

  /// Arms the Asio timer for the queue's earliest due timer.
  void Arm();

 private:
  void ArmAt(std::int64_t due_ms);

  TimerQueue& queue_;
  asio::steady_timer timer_;
  std::int64_t armed_due_ms_ = -1;
};

}  // namespace velgate
