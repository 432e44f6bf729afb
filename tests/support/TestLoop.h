#pragma once
// An io_context with a manual clock: timers run in virtual time, sockets for real on loopback.

#include <asio/io_context.hpp>
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/Clock.h"
#include "platform/TimerQueue.h"

namespace velgate::testing {

class TestLoop {
 public:
  TestLoop() : timers(clock) {}

  /// Runs every handler that is ready now, until none is.
  void Poll();
  /// Moves virtual time forward by ms, firing due timers in time order and running what they
  /// make ready after each.
  void AdvanceMs(std::int64_t ms);
  /// Runs handlers until done() holds or real time runs out (socket traffic takes real time).
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(5));

  asio::io_context io;
  ManualClock clock;
  TimerQueue timers;
};

}  // namespace velgate::testing
