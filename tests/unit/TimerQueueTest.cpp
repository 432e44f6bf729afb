#include "platform/TimerQueue.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace velgate {
namespace {

class TimerQueueTest : public ::testing::Test {
 protected:
  // Moves virtual time on and fires what is due, as the loop's driver does.
  void Advance(std::int64_t ms) {
    clock_.AdvanceMs(ms);
    queue_.FireDue();
  }

  ManualClock clock_;
  TimerQueue queue_{clock_};
};

TEST_F(TimerQueueTest, FiresEveryIntervalWhileEnabledAndOnceWhenLate) {
  int ticks = 0;
  int never = 0;
  Timer timer(queue_, 250, true, [&] { ++ticks; });
  Timer off(queue_, 100, false, [&] { ++never; });
  Timer zero(queue_, 0, true, [&] { ++never; });  // an interval of 0 never ticks
  // Late, it fires once, and the period runs from then.
  for (auto [ms, expected] : {std::pair{249, 0}, {1, 1}, {1000, 2}, {249, 2}, {1, 3}}) {
    Advance(ms);
    EXPECT_EQ(ticks, expected) << clock_.SteadyMs();
  }
  timer.SetEnabled(false);
  Advance(1000);
  EXPECT_EQ(ticks + never, 3);
}

TEST_F(TimerQueueTest, EnablingAgainKeepsThePeriodRestartAndANewIntervalStartANewOne) {
  std::string fired;
  Timer keep(queue_, 1000, true, [&] { fired += 'k'; });
  Timer restart(queue_, 1000, true, [&] { fired += 'r'; });
  Timer toggle(queue_, 1000, true, [&] { fired += 't'; });
  Timer resize(queue_, 1000, true, [&] { fired += 'z'; });
  Timer stopped(queue_, 1000, false, [&] { fired += 's'; });
  Advance(600);
  keep.SetEnabled(true);
  restart.Restart();
  toggle.SetEnabled(false);
  toggle.SetEnabled(true);
  resize.SetInterval(500);
  stopped.SetInterval(100);  // does not switch it on
  for (auto [ms, expected] : {std::pair{400, "k"}, {100, "kz"}, {499, "kz"}}) {
    Advance(ms);
    EXPECT_EQ(fired, expected) << clock_.SteadyMs();
  }
  Advance(1);
  std::sort(fired.begin(), fired.end());
  EXPECT_EQ(fired, "krtzz");
}

TEST_F(TimerQueueTest, DueTimersFireInTimeOrderAndTheNextDueSkipsDisabledOnes) {
  std::vector<std::int64_t> earlier;
  queue_.SetEarlierDueListener([&](std::int64_t due) { earlier.push_back(due); });
  std::string order;
  Timer a(queue_, 300, true, [&] { order += 'a'; });
  Timer b(queue_, 100, true, [&] { order += 'b'; });
  Timer c(queue_, 200, true, [&] { order += 'c'; });
  EXPECT_EQ(earlier, (std::vector<std::int64_t>{300, 100}));
  b.SetEnabled(false);
  EXPECT_EQ(queue_.NextDueMs(), 200);
  b.SetEnabled(true);

  Advance(300);
  EXPECT_EQ(order, "bca");
  EXPECT_GT(queue_.NextDueMs().value_or(0), 300);
  for (Timer* t : {&a, &b, &c}) t->SetEnabled(false);
  EXPECT_FALSE(queue_.NextDueMs().has_value());
  EXPECT_EQ(queue_.EnabledCount(), 0u);
}

TEST_F(TimerQueueTest, TimersDestroyedOrCreatedInACallbackAreSafe) {
  // A reset ends a stream's timer from inside its tick and starts fresh ones at once; enough
  // to make the queue grow under the running callback, and to take the freed places.
  std::optional<Timer> own;
  std::optional<Timer> victim;
  std::vector<Timer> created;
  std::string fired;
  victim.emplace(queue_, 100, true, [&] { fired += 'v'; });
  own.emplace(queue_, 99, true, [&] {
    own.reset();
    victim.reset();  // due later in this same round
    while (created.size() < 64) created.emplace_back(queue_, 50, true, [&] { fired += 'c'; });
    fired += 'o';  // the running callback goes on using its capture
  });
  Advance(100);
  EXPECT_EQ(fired, "o");
  Advance(50);
  EXPECT_EQ(fired, "o" + std::string(64, 'c'));
  EXPECT_EQ(queue_.EnabledCount(), 64u);
}

}  // namespace
}  // namespace velgate
