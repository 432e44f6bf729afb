#pragma once
// An io_context with a manual clock: timers run in virtual time, sockets for real on loopback.

#include <algorithm>
#include <asio/io_context.hpp>
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/Clock.h"
#include "platform/TimerQueue.h"

namespace velgate::testing {

struct TestLoop {
  TestLoop() : timers(clock) {}

  /// Runs every handler that is ready now, until none is.
  void Poll() {
    do io.restart();
    while (io.poll() != 0);
  }

  /// Moves virtual time forward, firing due timers in time order and running what each makes
  /// ready.
  void AdvanceMs(std::int64_t ms) {
    const std::int64_t target = clock.SteadyMs() + ms;
    for (Poll(); timers.NextDueMs() && *timers.NextDueMs() <= target; Poll()) {
      clock.AdvanceMs(std::max<std::int64_t>(0, *timers.NextDueMs() - clock.SteadyMs()));
      timers.FireDue();
    }
    clock.AdvanceMs(target - clock.SteadyMs());
    Poll();
  }

  /// Runs handlers until done() holds or real time runs out (socket traffic takes real time).
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (io.restart(); !done(); io.restart()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      io.run_one_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  asio::io_context io;
  ManualClock clock;
  TimerQueue timers;
};

}  // namespace velgate::testing
