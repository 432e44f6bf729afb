// The login timeout in virtual time: a tick every 5 s from the connection, 60 ticks for a caller
// who never logs in, 360 for a refused one; input restarts the period but keeps the count.

#include <gtest/gtest.h>

#include <string>

#include "UserRoadFixture.h"

namespace velgate::testing {
namespace {

constexpr std::int64_t kTick = 5000;

std::string N(int value) {
  return std::to_string(value);
}

class LoginTimeout : public UserRoadFixture {
 protected:
  // Waits for exactly as many bytes as expected and compares them.
  ::testing::AssertionResult ClusterGets(const std::string& expected) {
    return Same("the cluster", ClusterWaitFor(expected.size()), expected);
  }
  ::testing::AssertionResult UserGets(TestPeer& user, const std::string& expected) {
    return Same("the user", UserWaitFor(user, expected.size()), expected);
  }
  static ::testing::AssertionResult Same(const char* who, const std::string& got,
                                         const std::string& expected) {
    if (got == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << who << " got " << ::testing::PrintToString(got)
                                         << "\n   expected " << ::testing::PrintToString(expected);
  }

  std::int32_t Ticks(int s) { return Table().StreamIdleTicks[static_cast<std::size_t>(s)]; }

  bool StillConnected(TestPeer& user) {
    Settled(user);
    return !user.Closed();
  }

  bool WaitClosed(TestPeer& user) {
    return loop.RunUntil([&] {
      user.Pump();
      return user.Closed();
    });
  }
};

TEST_F(LoginTimeout, CallerWhoNeverLogsInIsClosedAtTick60) {
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  const int s = LastStream();
  ClusterGot();

  loop.AdvanceMs(59 * kTick);
  EXPECT_EQ(Ticks(s), 59);
  EXPECT_TRUE(StillConnected(*user));
  EXPECT_EQ(ClusterGot(), "");

  loop.AdvanceMs(kTick);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "", N(s), "1"})));
  EXPECT_TRUE(WaitClosed(*user));
  EXPECT_EQ(Table().Socket(s).State(), SocketState::kClosed);
  EXPECT_FALSE(Table().tmrDisconnect[static_cast<std::size_t>(s)].Enabled());
  EXPECT_EQ(Row(s).address.colour, colours::kWhite);
  loop.AdvanceMs(61 * kTick);
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(LoginTimeout, LockedOutCallerLasts360Ticks) {
  StartOnline({"\"Locked Out\",\"127.0.0.5\""});
  auto user = ConnectUser("127.0.0.5");
  const int s = LastStream();
  ASSERT_EQ(Table().StreamState[static_cast<std::size_t>(s)], 9);
  ClusterGot();

  loop.AdvanceMs(359 * kTick);
  EXPECT_EQ(Ticks(s), 359);
  EXPECT_TRUE(StillConnected(*user));
  EXPECT_EQ(ClusterGot(), "");

  loop.AdvanceMs(kTick);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "IP Locked Out", N(s), "1"})));
  EXPECT_TRUE(WaitClosed(*user));
}

TEST_F(LoginTimeout, NuisanceCallerKeepsItsCountAndLasts360TicksInAll) {
  StartOnline();
  auto user = ConnectUser("127.0.0.6");
  const int s = LastStream();
  ClusterGot();
  loop.AdvanceMs(10 * kTick + 2000);
  ASSERT_EQ(Ticks(s), 10);

  user->Send("GET / HTTP/1.0\r\n");
  ASSERT_TRUE(loop.RunUntil([&] { return Table().StreamState[static_cast<std::size_t>(s)] == 9; }));
  // The input restarted the period: the ticks now fall 2 s later than before.
  loop.AdvanceMs(349 * kTick + kTick - 1);
  EXPECT_EQ(Ticks(s), 359);
  EXPECT_TRUE(StillConnected(*user));
  EXPECT_EQ(ClusterGot(), "");

  loop.AdvanceMs(1);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "GET / HTTP/1.0\r\n", N(s), "1"})));
  EXPECT_TRUE(WaitClosed(*user));
}

TEST_F(LoginTimeout, InputRestartsThePeriodButNotTheCount) {
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  const int s = LastStream();
  ClusterGot();

  loop.AdvanceMs(4000);
  user->Send("G");
  ASSERT_TRUE(loop.RunUntil([&] { return Row(s).call.text == "G"; }));
  // The tick that was due at 5 s now comes at 9 s.
  loop.AdvanceMs(4999);
  EXPECT_EQ(Ticks(s), 0);
  loop.AdvanceMs(1);
  EXPECT_EQ(Ticks(s), 1);

  loop.AdvanceMs(58 * kTick + 1000);
  ASSERT_EQ(Ticks(s), 59);
  user->Send("1");
  ASSERT_TRUE(loop.RunUntil([&] { return Row(s).call.text == "G1"; }));
  EXPECT_EQ(Ticks(s), 59);
  loop.AdvanceMs(kTick - 1);
  EXPECT_TRUE(StillConnected(*user));
  EXPECT_EQ(ClusterGot(), "");
  loop.AdvanceMs(1);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1", N(s), "1"})));
  EXPECT_TRUE(WaitClosed(*user));
}

TEST_F(LoginTimeout, HangUpBeforeLoginIsReportedOnceAndTheNextCallerGetsAFreshCount) {
  StartOnline();
  auto first = ConnectUser("127.0.0.2");
  ASSERT_EQ(LastStream(), 2);
  ClusterGot();
  loop.AdvanceMs(20 * kTick);

  first->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "", "2", "1"})));
  loop.AdvanceMs(45 * kTick);
  EXPECT_EQ(ClusterGot(), "");

  auto next = ConnectUser("127.0.0.3");
  ASSERT_EQ(LastStream(), 2);
  ClusterGot();
  loop.AdvanceMs(59 * kTick);
  EXPECT_TRUE(StillConnected(*next));
  EXPECT_EQ(ClusterGot(), "");
  loop.AdvanceMs(kTick);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "", "2", "2"})));
  EXPECT_TRUE(WaitClosed(*next));
}

TEST_F(LoginTimeout, NextCallerIsNotEndedByTheCountOfTheOneBefore) {
  StartOnline();
  auto first = ConnectUser("127.0.0.2");
  ClusterGot();
  loop.AdvanceMs(50 * kTick);
  first->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "", "2", "1"})));

  // Arrives before the first caller's 60th tick would have come.
  auto next = ConnectUser("127.0.0.3");
  ASSERT_EQ(LastStream(), 2);
  ClusterGot();
  loop.AdvanceMs(20 * kTick);
  EXPECT_EQ(Ticks(2), 20);
  EXPECT_TRUE(StillConnected(*next));
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(LoginTimeout, ConfirmedStreamsAreNotTimedOut) {
  StartOnline();
  auto early = LoggedInUser("G1AAA", "127.0.0.2");
  auto late = ConnectUser("127.0.0.3");
  const int s = LastStream();
  EXPECT_FALSE(Table().tmrDisconnect[2].Enabled());
  loop.AdvanceMs(50 * kTick);
  ClusterSends(Down({"5", N(s), "G1BBB"}));
  ASSERT_TRUE(loop.RunUntil([&] { return Table().StreamState[static_cast<std::size_t>(s)] == 7; }));
  EXPECT_FALSE(Table().tmrDisconnect[static_cast<std::size_t>(s)].Enabled());
  ClusterGot();

  loop.AdvanceMs(400 * kTick);
  EXPECT_TRUE(StillConnected(*early));
  EXPECT_TRUE(StillConnected(*late));
  EXPECT_EQ(ClusterGot(), "");
}

}  // namespace
}  // namespace velgate::testing
