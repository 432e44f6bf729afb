#include "TestLoop.h"

namespace velgate::testing {

void TestLoop::Poll() {
  for (;;) {
    io.restart();
    if (io.poll() == 0) return;
  }
}

void TestLoop::AdvanceMs(std::int64_t ms) {
  const std::int64_t target = clock.SteadyMs() + ms;
  for (;;) {
    Poll();
    auto due = timers.NextDueMs();
    if (!due || *due > target) break;
    if (*due > clock.SteadyMs()) clock.AdvanceMs(*due - clock.SteadyMs());
    timers.FireDue();
  }
  clock.AdvanceMs(target - clock.SteadyMs());
  Poll();
}

bool TestLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    io.restart();
    io.run_one_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace velgate::testing
