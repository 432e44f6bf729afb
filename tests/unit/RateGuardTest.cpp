#include "protection/RateGuard.h"

#include "platform/IpAddress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velgate {
namespace {

using Verdict = RateGuard::Verdict;

struct Guarded {
  std::vector<RateGuard::SpellEnded> ended;
  RateGuard guard{[this](const RateGuard::SpellEnded& spell) { ended.push_back(spell); }};
};

const std::uint64_t kCaller = IpAddress::V4(0xC0000205).CountKey();  // 192.0.2.5

TEST(RateGuardTest, AnAddressGetsItsAllowancePerWindowAndASpellIsToldOnceThenCounted) {
  Guarded g;
  const RateGuard::Limits three_in_ten{3, 10};
  std::string verdicts;
  // Six requests at 0..5 s, then one at 9.999 s (still the first window), one at 10 s.
  for (std::int64_t ms : {0, 1000, 2000, 3000, 4000, 5000, 9999, 10000}) {
    const Verdict verdict = g.guard.Ask(kCaller, ms, three_in_ten);
    verdicts += verdict == Verdict::kAllowed ? 'a' : verdict == Verdict::kFirstRefusal ? 'F' : 'r';
    if (ms == 5000) {
      g.guard.EndSpells(9999);
      EXPECT_TRUE(g.ended.empty());
      EXPECT_EQ(g.guard.OpenSpells(), 1u);
    }
  }
  EXPECT_EQ(verdicts, "aaaFrrra");
  ASSERT_EQ(g.ended.size(), 1u);
  EXPECT_EQ(IpAddress::CountKeyText(g.ended[0].key), "192.0.2.5");
  EXPECT_EQ(g.ended[0].refused, 4);
  EXPECT_EQ(g.guard.OpenSpells(), 0u);

  // Another spell ends by the sweep once its window is over, without a further request.
  for (int i = 0; i < 5; ++i) g.guard.Ask(kCaller, 11000, three_in_ten);
  g.guard.EndSpells(20000);
  ASSERT_EQ(g.ended.size(), 2u);
  EXPECT_EQ(g.ended[1].refused, 3);
}

TEST(RateGuardTest, EitherLimitAtZeroLetsEveryRequestThrough) {
  for (const RateGuard::Limits off : {RateGuard::Limits{0, 60}, RateGuard::Limits{20, 0}}) {
    Guarded g;
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(g.guard.Ask(kCaller, i, off), Verdict::kAllowed);
    EXPECT_EQ(g.guard.OpenSpells(), 0u);
  }
}

TEST(RateGuardTest, ACrowdOfNewcomersPushesOutTheOldestAndItsSpellIsToldWithItsCount) {
  Guarded g;
  const RateGuard::Limits limits{2, 60};
  for (int i = 0; i < 7; ++i) g.guard.Ask(kCaller, 0, limits);
  // Far more addresses than the table tracks, each a little later than the one before.
  for (std::uint32_t n = 1; n <= 4 * RateGuard::kTracked; ++n)
    EXPECT_EQ(g.guard.Ask(IpAddress::V4(n).CountKey(), n, limits), Verdict::kAllowed);
  ASSERT_EQ(g.ended.size(), 1u);
  EXPECT_EQ(g.ended[0].key, kCaller);
  EXPECT_EQ(g.ended[0].refused, 5);
  // Forgotten, it starts afresh.
  EXPECT_EQ(g.guard.Ask(kCaller, 100, limits), Verdict::kAllowed);
}

}  // namespace
}  // namespace velgate
