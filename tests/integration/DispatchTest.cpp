// Cluster output dispatch: what each coded message from the cluster does to the stream it names,
// seen from both ends of the road: the user's socket and the cluster link.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UserRoadFixture.h"

namespace velgate::testing {
namespace {

const std::string EOT = "\x04";

std::string N(int value) {
  return std::to_string(value);
}

class Dispatch : public UserRoadFixture {
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

  // Waits until the user's stream has handled what the user sent (it shows in the call field).
  void UserTyped(TestPeer& user, int s, const std::string& text, const std::string& shown) {
    user.Send(text);
    ASSERT_TRUE(loop.RunUntil([&] { return Row(s).call.text == shown; }));
  }

  bool StillConnected(TestPeer& user) {
    Settled(user);
    return !user.Closed();
  }

  std::vector<std::string> MonitorQueue() {
    std::vector<std::string> queued;
    std::string message;
    while (gateway->Monitor().TakeNext(message)) queued.push_back(message);
    return queued;
  }

  static std::vector<std::string> Starting(const std::vector<std::string>& messages,
                                           const std::vector<std::string>& prefixes) {
    std::vector<std::string> found;
    for (const std::string& m : messages) {
      for (const std::string& prefix : prefixes) {
        if (m.rfind(prefix, 0) == 0) {
          found.push_back(m);
          break;
        }
      }
    }
    return found;
  }
};

TEST_F(Dispatch, LoginPromptGoesWithoutLineEndOtherLinesWithOne) {
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  const int s = LastStream();
  ClusterGot();

  // Code 3 needs no login: the prompt reaches a stream that is only announced.
  ClusterSends(Down({"3", N(s), "login: "}));
  EXPECT_TRUE(UserGets(*user, "login: "));
  ClusterSends(Down({"3", N(s), "Welcome to the cluster"}) + Down({"3", N(s), "login:"}) +
               Down({"3", N(s), ""}) + Down({"3", N(s), "login: "}));
  const std::string expected = "Welcome to the cluster\r\nlogin:\r\n\r\nlogin: ";
  EXPECT_TRUE(UserGets(*user, expected));
  EXPECT_EQ(Table().StreamState[static_cast<std::size_t>(s)], 2);
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(Dispatch, Code4ConfirmsStopsTheTimerAndAcknowledgesWith80) {
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  const int s = LastStream();
  const auto i = static_cast<std::size_t>(s);
  UserTyped(*user, s, "G1ABC\r\n", "G1ABC");
  ClusterSends(Down({"2", N(s), "Known caller"}) + Down({"7", N(s), "Password?"}));
  EXPECT_TRUE(UserGets(*user, "Password?\r\n"));
  EXPECT_EQ(Row(s).port.tip, "Known caller");
  ClusterGot();

  ClusterSends(Down({"4", N(s), "G1ABC-2"}));
  EXPECT_TRUE(ClusterGets(Up({"AA04", N(s), "04-Dec-2026 1200Z", "80"})));
  EXPECT_EQ(Table().StreamState[i], 7);
  EXPECT_FALSE(Table().tmrDisconnect[i].Enabled());
  EXPECT_EQ(Row(s).port.colour, colours::kYellow);
  EXPECT_EQ(Row(s).port.tip, "");
  EXPECT_EQ(Row(s).call.text, "G1ABC-2");
  EXPECT_EQ(Row(s).call.colour, colours::kGreen);
  EXPECT_EQ(Row(s).address.tip, "04-Dec-2026 1200Z");
  EXPECT_EQ(Row(s).address.colour, ListenerColour(1));
  EXPECT_EQ(Settled(*user), "");

  // Logged in: lines go up as AA00, and the login timeout no longer runs.
  user->Send("sh/dx\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA00", N(s), "sh/dx\r\n"})));
  loop.AdvanceMs(61 * 5000);
  EXPECT_TRUE(StillConnected(*user));
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(Dispatch, Code5ConfirmsInCyanKeepsTheNoteAndAcknowledgesWithout80) {
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  const int s = LastStream();
  ClusterSends(Down({"2", N(s), "Second kind"}));
  ASSERT_TRUE(loop.RunUntil([&] { return Row(s).port.tip == "Second kind"; }));
  ClusterGot();
  // The stamp is the time of the confirmation, not of the connection.
  loop.AdvanceMs(125000);

  ClusterSends(Down({"5", N(s), "K1TTT"}));
  EXPECT_TRUE(ClusterGets(Up({"AA04", N(s), "04-Dec-2026 1202Z"})));
  EXPECT_EQ(Table().StreamState[static_cast<std::size_t>(s)], 7);
  EXPECT_FALSE(Table().tmrDisconnect[static_cast<std::size_t>(s)].Enabled());
  EXPECT_EQ(Row(s).port.colour, colours::kCyan);
  EXPECT_EQ(Row(s).port.tip, "Second kind");
  EXPECT_EQ(Row(s).call.text, "K1TTT");
  EXPECT_EQ(Row(s).call.colour, colours::kGreen);
  EXPECT_EQ(Row(s).address.tip, "04-Dec-2026 1202Z");
  EXPECT_EQ(Settled(*user), "");
}

TEST_F(Dispatch, Code6ConfirmsInGreenAndTellsTheClusterNothing) {
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  const int s = LastStream();
  UserTyped(*user, s, "G1ABC\r\n", "G1ABC");
  ClusterSends(Down({"2", N(s), "note"}));
  ASSERT_TRUE(loop.RunUntil([&] { return Row(s).port.tip == "note"; }));
  ClusterGot();

  ClusterSends(Down({"6", N(s)}));
  ASSERT_TRUE(loop.RunUntil([&] { return Table().StreamState[static_cast<std::size_t>(s)] == 7; }));
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_FALSE(Table().tmrDisconnect[static_cast<std::size_t>(s)].Enabled());
  EXPECT_EQ(Row(s).port.colour, colours::kGreen);
  EXPECT_EQ(Row(s).call.colour, colours::kGreen);
  EXPECT_EQ(Row(s).call.text, "G1ABC");
  EXPECT_EQ(Row(s).port.tip, "note");
  EXPECT_EQ(Row(s).address.tip, "");
  user->Send("sh/dx\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA00", N(s), "sh/dx\r\n"})));
}

TEST_F(Dispatch, Code7SendsTheStreamBackToWaitingInPink) {
  StartOnline();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  const int s = LastStream();

  ClusterSends(Down({"7", N(s), "Login refused"}));
  EXPECT_TRUE(UserGets(*user, "Login refused\r\n"));
  EXPECT_EQ(Table().StreamState[static_cast<std::size_t>(s)], 3);
  EXPECT_EQ(Row(s).call.colour, colours::kLightPink);
  // No longer logged in: input goes up as AA03 and text for logged-in users is held back.
  user->Send("G1ABC\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA03", N(s), "G1ABC\r\n"})));
  ClusterSends(Down({"0", N(s), "not for you"}) + Down({"3", N(s), "line"}));
  EXPECT_TRUE(UserGets(*user, "line\r\n"));
}

TEST_F(Dispatch, Code0ReachesOnlyLoggedInStreamsAsIs) {
  StartOnline();
  auto waiting = ConnectUser("127.0.0.2");
  const int w = LastStream();
  auto user = LoggedInUser("G1ABC", "127.0.0.3");
  const int s = LastStream();
  ClusterGot();

  ClusterSends(Down({"0", N(w), "early"}) + Down({"0", N(s), "DX de G1ABC:  14025.0  K1TTT"}) +
               Down({"0", N(s), " no line end"}) + Down({"3", N(w), "marker"}));
  EXPECT_TRUE(UserGets(*waiting, "marker\r\n"));
  const std::string expected = "DX de G1ABC:  14025.0  K1TTT no line end";
  EXPECT_TRUE(UserGets(*user, expected));
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(Dispatch, Code0WithAConnectionNumberIsForThatConnectionOnly) {
  StartOnline();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  const int s = LastStream();
  const auto i = static_cast<std::size_t>(s);
  ASSERT_EQ(Table().StreamConnID[i], 1);

  ClusterSends(Down({"0", N(s), "for an earlier caller", "7"}) + Down({"0", N(s), "yours", "1"}) +
               Down({"0", N(s), " and this", "01"}));
  EXPECT_TRUE(UserGets(*user, "yours and this"));
  EXPECT_EQ(ClusterGot(), "");

  // A stream without a connection number: the cluster hears it has ended, the text still goes.
  Table().StreamConnID[i] = 0;
  ClusterSends(Down({"0", N(s), "orphan", "5"}));
  EXPECT_TRUE(UserGets(*user, "orphan"));
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1ABC", N(s), "0"})));
  EXPECT_EQ(Row(s).address.colour, colours::kWhite);
  EXPECT_EQ(Row(s).call.colour, colours::kWhite);
  // Without a connection field there is nothing to compare.
  ClusterSends(Down({"0", N(s), "plain"}));
  EXPECT_TRUE(UserGets(*user, "plain"));
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(Dispatch, Code8ClosesReportingOnlyWithoutAConnectionNumber) {
  StartOnline();
  auto first = LoggedInUser("G1AAA", "127.0.0.2");
  auto second = LoggedInUser("G1BBB", "127.0.0.3");
  auto third = LoggedInUser("G1CCC", "127.0.0.4");
  ASSERT_EQ(Table().StreamConnID[2], 1);
  ASSERT_EQ(Table().StreamConnID[3], 2);
  ASSERT_EQ(Table().StreamConnID[4], 3);

  ClusterSends(Down({"8", "2"}));
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1AAA", "2", "0"})));
  ASSERT_TRUE(first->WaitForBytes(loop, 1) || first->Closed());
  EXPECT_TRUE(first->Closed());
  EXPECT_EQ(Table().Socket(2).State(), SocketState::kClosed);
  EXPECT_EQ(Table().StreamState[2], 0);
  EXPECT_EQ(Table().StreamConnID[2], 0);
  EXPECT_EQ(Row(2).call.colour, colours::kWhite);
  EXPECT_EQ(Row(2).address.colour, colours::kWhite);

  ClusterSends(Down({"8", "3", "", "2"}));
  ASSERT_TRUE(second->WaitForBytes(loop, 1) || second->Closed());
  EXPECT_TRUE(second->Closed());
  EXPECT_EQ(Table().StreamState[3], 0);
  EXPECT_EQ(Table().StreamConnID[3], 0);

  ClusterSends(Down({"8", "4", "", "2"}));
  EXPECT_TRUE(StillConnected(*third));
  EXPECT_EQ(Table().StreamState[4], 7);
  EXPECT_EQ(ClusterGot(), "");

  // The next caller on a freed stream is safe from orders meant for the one before.
  auto next = ConnectUser("127.0.0.5");
  ASSERT_EQ(LastStream(), 2);
  ClusterSends(Down({"6", "2"}) + Down({"0", "2", "late", "1"}) + Down({"8", "2", "", "1"}) +
               Down({"0", "2", "fresh", "4"}));
  EXPECT_TRUE(UserGets(*next, "fresh"));
  EXPECT_TRUE(StillConnected(*next));
  EXPECT_EQ(ClusterGot(), Up({"AA02", "2", "6"}) +
                              Up({"AA03", "Connect Request", "2", "3", "127.0.0.5", "1", "4"}));
}

TEST_F(Dispatch, OneFieldMessageGoesToTheStreamNamedBefore) {
  StartOnline();
  auto first = LoggedInUser("G1AAA", "127.0.0.2");
  auto second = LoggedInUser("G1BBB", "127.0.0.3");

  ClusterSends(Down({"1", "3"}) + "Hello " + EOT);
  EXPECT_TRUE(UserGets(*second, "Hello "));
  // Still stream 3 in a later block, also when the block ends in the middle of the message.
  ClusterSends("from the clus");
  loop.RunUntil([&] { return !gateway->Link().RxHolding().empty(); });
  ClusterSends("ter" + EOT);
  EXPECT_TRUE(UserGets(*second, "from the cluster"));
  ClusterSends(Down({"0", "2", "A"}) + "B" + EOT + "C" + EOT);
  EXPECT_TRUE(UserGets(*first, "ABC"));
  EXPECT_EQ(Settled(*second), "");
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(Dispatch, MonitorCopiesTextAndMessagesWithoutTextAreStillCarriedOut) {
  StartOnline();
  auto watched = ConnectUser("127.0.0.2");
  const int w = LastStream();
  auto silent = LoggedInUser("G1SSS", "127.0.0.3");
  const int q = LastStream();
  auto echoed = LoggedInUser("G1EEE", "127.0.0.4");
  const int e = LastStream();
  ClusterGot();
  MonitorFeed& monitor = gateway->Monitor();
  monitor.MonitorActive = true;
  monitor.SockState = 7;
  monitor.MonitoredStream = static_cast<std::int16_t>(w);
  Table().StreamMonitorEcho[static_cast<std::size_t>(q)] = 0;
  MonitorQueue();

  // Without a text field: no copy, but the login is confirmed and the row goes to the monitor.
  ClusterSends(Down({"6", N(w)}));
  ASSERT_TRUE(loop.RunUntil([&] { return Table().StreamState[static_cast<std::size_t>(w)] == 7; }));
  std::vector<std::string> queued = MonitorQueue();
  EXPECT_EQ(Starting(queued, {"^ZQ64", "^ZQ70"}), std::vector<std::string>{});
  EXPECT_EQ(Starting(queued, {"^ZQ60^", "^ZQ66^"}).size(), 1u);
  EXPECT_EQ(Starting(queued, {"^ZQ60^" + N(w) + "^0^127.0.0.2^"}).size(), 1u);

  ClusterSends(Down({"0", N(w), "hello"}) + Down({"0", N(q), "quiet"}) + Down({"3", N(e), "line"}) +
               Down({"1", N(w)}) + "more" + EOT + Down({"1", N(w), "note"}));
  EXPECT_TRUE(UserGets(*watched, "hellomore"));
  EXPECT_TRUE(UserGets(*silent, "quiet"));
  EXPECT_TRUE(UserGets(*echoed, "line\r\n"));
  EXPECT_EQ(Starting(MonitorQueue(), {"^ZQ64", "^ZQ70"}), (std::vector<std::string>{
                                                              "^ZQ64^\r\n\r\nhello" + EOT,
                                                              "^ZQ70^" + N(w) + "^hello\r\n" + EOT,
                                                              "^ZQ70^" + N(e) + "^line\r\n" + EOT,
                                                              "^ZQ64^\r\n\r\nnote" + EOT,
                                                              "^ZQ70^" + N(w) + "^note\r\n" + EOT,
                                                          }));

  ClusterSends(Down({"8", N(e)}));
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1EEE", N(e), "0"})));
  ASSERT_TRUE(echoed->WaitForBytes(loop, 1) || echoed->Closed());
  EXPECT_TRUE(echoed->Closed());
  EXPECT_EQ(Table().StreamState[static_cast<std::size_t>(e)], 0);
  EXPECT_EQ(Starting(MonitorQueue(), {"^ZQ64", "^ZQ70"}), std::vector<std::string>{});
  EXPECT_EQ(ErrorLogText(), "");
}

}  // namespace
}  // namespace velgate::testing
