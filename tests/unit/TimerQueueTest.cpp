#include "platform/TimerQueue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Clock.h"

namespace velgate {
namespace {

// A queue on virtual time; Advance moves it on and fires what is due, as the loop's driver does.
struct VirtualTime {
  void Advance(std::int64_t ms) { clock.AdvanceMs(ms), queue.FireDue(); }
  ManualClock clock;
  TimerQueue queue{clock};
};

TEST(TimerQueueTest, EnablingAnEnabledTimerKeepsItsPeriodAndEveryRestartStartsANewOne) {
  // Whether a 1000 ms timer starts enabled, what is done to it at 600 ms, when it fires by 2500.
  const std::tuple<bool, const char*, void (*)(Timer&), std::vector<std::int64_t>> cases[] = {
      {true, "nothing", [](Timer&) {}, {1000, 2000}},
      {true, "enabled again", [](Timer& t) { t.SetEnabled(true); }, {1000, 2000}},
      {true, "off and on", [](Timer& t) { t.SetEnabled(false), t.SetEnabled(true); }, {1600}},
      {true, "restarted", [](Timer& t) { t.Restart(); }, {1600}},
      {true, "given a new interval", [](Timer& t) { t.SetInterval(500); }, {1100, 1600, 2100}},
      {true, "disabled", [](Timer& t) { t.SetEnabled(false); }, {}},
      {false, "enabled", [](Timer& t) { t.SetEnabled(true); }, {1600}},
      {false, "set to 0 ms, enabled", [](Timer& t) { t.SetInterval(0), t.SetEnabled(true); }, {}},
      {false, "given a new interval", [](Timer& t) { t.SetInterval(100); }, {}}};
  for (const auto& [enabled, what, at_600, expected] : cases) {
    VirtualTime time;
    std::vector<std::int64_t> fired;
    Timer timer(time.queue, 1000, enabled, [&] { fired.push_back(time.clock.SteadyMs()); });
    for (int ms = 0; ms < 2500; time.Advance(1), ++ms)
      if (ms == 600) at_600(timer);
    EXPECT_EQ(fired, expected) << (enabled ? "on" : "off") << ", then " << what;
  }
}

TEST(TimerQueueTest, DueTimersFireInTimeOrderOnceEvenWhenLateAndTheNextDueSkipsDisabledOnes) {
  VirtualTime time;
  std::vector<std::int64_t> earlier;
  time.queue.SetEarlierDueListener([&](std::int64_t due) { earlier.push_back(due); });
  std::string order;
  Timer a(time.queue, 300, true, [&] { order += 'a'; });
  Timer b(time.queue, 100, true, [&] { order += 'b'; });
  Timer c(time.queue, 200, true, [&] { order += 'c'; });
  EXPECT_EQ(earlier, (std::vector<std::int64_t>{300, 100}));
  b.SetEnabled(false);
  EXPECT_EQ(time.queue.NextDueMs(), 200);
  b.SetEnabled(true);
  // Late, a timer fires once, and its period runs on from then.
  time.Advance(300);
  EXPECT_EQ(order, "bca");
  EXPECT_EQ(time.queue.NextDueMs(), 400);
  for (Timer* t : {&a, &b, &c}) t->SetEnabled(false);
  EXPECT_EQ(time.queue.NextDueMs(), std::nullopt);
  EXPECT_EQ(time.queue.EnabledCount(), 0u);
}

TEST(TimerQueueTest, TimersDestroyedOrCreatedInACallbackAreSafe) {
  // A reset ends a stream's timer inside its tick and starts fresh ones: the queue grows meanwhile.
  VirtualTime time;
  std::optional<Timer> own, victim;
  std::vector<Timer> created;
  std::string fired;
  victim.emplace(time.queue, 100, true, [&] { fired += 'v'; });
  own.emplace(time.queue, 99, true, [&] {
    own.reset();
    victim.reset();  // due later in this same round
    while (created.size() < 64) created.emplace_back(time.queue, 50, true, [&] { fired += 'c'; });
    fired += 'o';  // the running callback goes on using its capture
  });
  time.Advance(100);
  EXPECT_EQ(fired, "o");
  time.Advance(50);
  EXPECT_EQ(fired, "o" + std::string(64, 'c'));
  EXPECT_EQ(time.queue.EnabledCount(), 64u);
}

}  // namespace
}  // namespace velgate
