#include "platform/TimerQueue.h"

#include <gtest/gtest.h>

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

TEST_F(TimerQueueTest, FiresEveryIntervalWhileEnabled) {
  int ticks = 0;
  Timer timer(queue_, 250, true, [&] { ++ticks; });
  int off_ticks = 0;
  Timer off(queue_, 100, false, [&] { ++off_ticks; });
  int zero_ticks = 0;
  Timer zero(queue_, 0, true, [&] { ++zero_ticks; });

  Advance(249);
  EXPECT_EQ(ticks, 0);
  Advance(1);
  EXPECT_EQ(ticks, 1);
  Advance(250);
  Advance(250);
  EXPECT_EQ(ticks, 3);

  timer.SetEnabled(false);
  Advance(1000);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(off_ticks, 0);
  EXPECT_EQ(zero_ticks, 0);  // an interval of 0 never ticks
}

TEST_F(TimerQueueTest, EnablingAgainKeepsThePeriodButOffAndOnRestartsIt) {
  int kept = 0;
  int restarted = 0;
  int toggled = 0;
  Timer keep(queue_, 1000, true, [&] { ++kept; });
  Timer restart(queue_, 1000, true, [&] { ++restarted; });
  Timer toggle(queue_, 1000, true, [&] { ++toggled; });

  Advance(600);
  keep.SetEnabled(true);
  restart.Restart();
  toggle.SetEnabled(false);
  toggle.SetEnabled(true);

  Advance(400);
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(restarted, 0);
  EXPECT_EQ(toggled, 0);
  Advance(600);
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(restarted, 1);
  EXPECT_EQ(toggled, 1);
}

TEST_F(TimerQueueTest, DueTimersFireInTimeOrder) {
  std::string order;
  Timer a(queue_, 300, true, [&] { order += 'a'; });
  Timer b(queue_, 100, true, [&] { order += 'b'; });
  Timer c(queue_, 200, true, [&] { order += 'c'; });

  Advance(300);
  EXPECT_EQ(order, "bca");
  ASSERT_TRUE(queue_.NextDueMs().has_value());
  EXPECT_GT(*queue_.NextDueMs(), 300);
}

TEST_F(TimerQueueTest, ALateQueueFiresATimerOnceAndKeepsItsPeriodFromThen) {
  int ticks = 0;
  Timer timer(queue_, 100, true, [&] { ++ticks; });

  Advance(1000);
  EXPECT_EQ(ticks, 1);
  Advance(99);
  EXPECT_EQ(ticks, 1);
  Advance(1);
  EXPECT_EQ(ticks, 2);
}

TEST_F(TimerQueueTest, NextDueSkipsDisabledTimers) {
  std::vector<std::int64_t> earlier;
  queue_.SetEarlierDueListener([&](std::int64_t due) { earlier.push_back(due); });
  EXPECT_FALSE(queue_.NextDueMs().has_value());

  Timer late(queue_, 300, true, [] {});
  Timer later(queue_, 500, true, [] {});
  Timer soon(queue_, 100, true, [] {});
  EXPECT_EQ(earlier, (std::vector<std::int64_t>{300, 100}));
  EXPECT_EQ(queue_.NextDueMs(), 100);
  EXPECT_EQ(queue_.EnabledCount(), 3u);

  soon.SetEnabled(false);
  EXPECT_EQ(queue_.NextDueMs(), 300);
  late.SetEnabled(false);
  later.SetEnabled(false);
  EXPECT_FALSE(queue_.NextDueMs().has_value());
  EXPECT_EQ(queue_.EnabledCount(), 0u);
}

TEST_F(TimerQueueTest, ATimerDisabledInItsOwnCallbackStops) {
  int ticks = 0;
  Timer timer;
  timer = Timer(queue_, 100, true, [&] {
    ++ticks;
    timer.SetEnabled(false);
  });

  Advance(100);
  Advance(1000);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(queue_.EnabledCount(), 0u);

  timer.SetEnabled(true);
  Advance(100);
  EXPECT_EQ(ticks, 2);
}

TEST_F(TimerQueueTest, ATimerDestroyedInItsOwnCallbackStopsCleanly) {
  // A reset ends a stream's timer from inside its tick and starts a fresh one at once; the
  // running callback goes on using what it captured.
  std::optional<Timer> own;
  std::optional<Timer> replacement;
  int own_ticks = 0;
  int replacement_ticks = 0;
  own.emplace(queue_, 100, true, [this, &own, &replacement, &own_ticks, &replacement_ticks] {
    own.reset();
    replacement.emplace(queue_, 100, true, [&replacement_ticks] { ++replacement_ticks; });
    ++own_ticks;
  });

  Advance(100);
  EXPECT_FALSE(own.has_value());
  Advance(100);
  Advance(1000);
  EXPECT_EQ(own_ticks, 1);
  EXPECT_EQ(replacement_ticks, 2);
  EXPECT_EQ(queue_.EnabledCount(), 1u);
}

TEST_F(TimerQueueTest, ATimerDestroyedByAnEarlierCallbackDoesNotFire) {
  int victim_ticks = 0;
  std::optional<Timer> victim;
  victim.emplace(queue_, 100, true, [&] { ++victim_ticks; });
  Timer killer(queue_, 99, true, [&] { victim.reset(); });
  Advance(100);  // both are due in this round

  // A new timer may take the freed place; only its own callback runs.
  int fresh_ticks = 0;
  Timer fresh(queue_, 50, true, [&] { ++fresh_ticks; });
  Advance(1000);

  EXPECT_EQ(victim_ticks, 0);
  EXPECT_EQ(fresh_ticks, 1);
}

TEST_F(TimerQueueTest, TimersCreatedInACallbackWork) {
  struct Created {
    TimerQueue* queue;
    std::vector<Timer> timers;
    int ticks;
    int outer_ticks;
  } created{&queue_, {}, 0, 0};
  // Enough new timers to make the queue grow under the running callback, which then goes on
  // using its capture.
  Timer outer(queue_, 100, true, [&created] {
    while (created.timers.size() < 64) {
      created.timers.emplace_back(*created.queue, 50, true, [&created] { ++created.ticks; });
    }
    ++created.outer_ticks;
  });

  Advance(100);
  EXPECT_EQ(created.ticks, 0);
  Advance(50);
  EXPECT_EQ(created.ticks, 64);
  Advance(50);
  EXPECT_EQ(created.outer_ticks, 2);
  EXPECT_EQ(created.ticks, 128);
}

TEST_F(TimerQueueTest, SetIntervalOnAnEnabledTimerStartsANewPeriod) {
  int ticks = 0;
  Timer timer(queue_, 1000, true, [&] { ++ticks; });
  int idle_ticks = 0;
  Timer idle(queue_, 1000, false, [&] { ++idle_ticks; });

  Advance(600);
  timer.SetInterval(500);
  idle.SetInterval(100);
  Advance(400);
  EXPECT_EQ(ticks, 0);  // the old period is gone
  Advance(100);
  EXPECT_EQ(ticks, 1);
  Advance(500);
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(idle_ticks, 0);  // a new interval does not switch a timer on
}

TEST_F(TimerQueueTest, TimersKeepTickingWhenMovedOrRestartedOften) {
  // Per-stream timers live in a growing list, so they move; login timers restart on every input.
  std::vector<Timer> timers;
  int ticks = 0;
  for (int i = 0; i < 20; ++i) timers.emplace_back(queue_, 100, true, [&] { ++ticks; });
  int busy_ticks = 0;
  Timer busy(queue_, 100, true, [&] { ++busy_ticks; });
  Advance(50);
  for (int i = 0; i < 5000; ++i) busy.Restart();

  Advance(50);
  EXPECT_EQ(ticks, 20);
  EXPECT_EQ(busy_ticks, 0);
  Advance(50);
  EXPECT_EQ(busy_ticks, 1);

  timers.clear();
  Advance(1000);
  EXPECT_EQ(ticks, 20);
  EXPECT_EQ(queue_.EnabledCount(), 1u);
}

}  // namespace
}  // namespace velgate
