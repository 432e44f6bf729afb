// Cluster output dispatch: what each coded message does to the stream it names, seen from both
// ends of the road: the user's socket and the cluster link.

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class Dispatch : public UserRoadFixture {
 protected:
  void SetUp() override { StartOnline(); }
};

TEST_F(Dispatch, Codes4To6ConfirmTheLoginEachInItsWay) {
  struct Case {
    std::string code, ack;
    Colour port;
    std::string port_tip, call, login_time;
  };
  // Each comes 125 s after the one before: the stamp is the time of the confirmation.
  const Case cases[] = {{"4", Up({"AA04", "2", "04-Dec-2026 1202Z", "80"}), colours::kYellow, "",
                         "K2", "04-Dec-2026 1202Z"},
                        {"5", Up({"AA04", "3", "04-Dec-2026 1204Z"}), colours::kCyan, "note", "K3",
                         "04-Dec-2026 1204Z"},
                        {"6", "", colours::kGreen, "note", "G1ABC", ""}};
  std::vector<std::unique_ptr<TestPeer>> users;
  for (int s = 2; s <= 4; ++s) {
    const Case& c = cases[s - 2];
    users.push_back(ConnectUser("127.0.0." + N(s)));
    users.back()->Send("G1ABC\r\n");
    ClusterSends(Down({"2", N(s), "note"}));
    ASSERT_TRUE(
        loop.RunUntil([&] { return Row(s).port.tip == "note" && Row(s).call.text == "G1ABC"; }));
    ClusterGot();
    loop.AdvanceMs(125000);

    ClusterSends(c.code == "6" ? Down({"6", N(s)}) : Down({c.code, N(s), c.call}));
    ASSERT_TRUE(WaitState(s, StreamState::kLoggedIn)) << c.code;
    EXPECT_TRUE(ClusterGets(c.ack)) << c.code;
    EXPECT_EQ(Row(s).port.colour, c.port) << c.code;
    EXPECT_EQ(Row(s).port.tip, c.port_tip) << c.code;
    EXPECT_EQ(Row(s).call.text, c.call) << c.code;
    EXPECT_EQ(Row(s).address.tip, c.login_time) << c.code;
    EXPECT_EQ(Settled(*users.back()), "");
    users.back()->Send("sh/dx\r\n");
    EXPECT_TRUE(ClusterGets(Up({"AA00", N(s), "sh/dx\r\n"}))) << c.code;
  }
}

TEST_F(Dispatch, Code7SendsTheStreamBackToWaitingWhereOnlyCode3Reaches) {
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  ClusterSends(Down({"7", "2", "Login refused"}));
  EXPECT_TRUE(UserGets(*user, "Login refused\r\n"));
  EXPECT_EQ(State(2), StreamState::kLoginSent);
  EXPECT_EQ(Row(2).call.colour, colours::kLightPink);
  // Input goes up as AA03; text for logged-in users is held back; code 3 ends every line but the
  // login prompt with a line end.
  user->Send("G1ABC\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA03", "2", "G1ABC\r\n"})));
  ClusterSends(Down({"0", "2", "not for you"}) + Down({"3", "2", "Welcome"}) +
               Down({"3", "2", "login:"}) + Down({"3", "2", ""}) + Down({"3", "2", "login: "}));
  EXPECT_TRUE(UserGets(*user, "Welcome\r\nlogin:\r\n\r\nlogin: "));
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(Dispatch, Code0ReachesOnlyLoggedInStreamsAndOnlyTheConnectionItNames) {
  auto waiting = ConnectUser("127.0.0.2");
  auto user = LoggedInUser("G1ABC", "127.0.0.3");
  ASSERT_EQ(Table().At(3).connection, 2);
  ClusterSends(Down({"0", "2", "early"}) + Down({"0", "3", "DX de G1ABC"}) +
               Down({"0", "3", " for an earlier caller", "7"}) +
               Down({"0", "3", " and this", "02"}) + Down({"3", "2", "marker"}));
  EXPECT_TRUE(UserGets(*waiting, "marker\r\n"));
  EXPECT_TRUE(UserGets(*user, "DX de G1ABC and this"));
  EXPECT_EQ(ClusterGot(), "");

  // A stream without a connection number: the cluster hears it has ended, the text still goes.
  Table().At(3).connection = 0;
  ClusterSends(Down({"0", "3", "orphan", "5"}));
  EXPECT_TRUE(UserGets(*user, "orphan"));
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1ABC", "3", "0"})));
  EXPECT_EQ(Row(3).call.colour, colours::kWhite);
  ClusterSends(Down({"0", "3", "plain"}));  // no connection field: nothing to compare
  EXPECT_TRUE(UserGets(*user, "plain"));
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(Dispatch, Code8ClosesReportingOnlyWithoutAConnectionNumber) {
  auto first = LoggedInUser("G1AAA", "127.0.0.2");
  auto second = LoggedInUser("G1BBB", "127.0.0.3");
  auto third = LoggedInUser("G1CCC", "127.0.0.4");
  ClusterSends(Down({"8", "2"}));
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1AAA", "2", "0"})));
  EXPECT_TRUE(WaitClosed(*first));
  EXPECT_EQ(State(2), StreamState::kAccepted);
  EXPECT_EQ(Table().At(2).connection, 0);
  EXPECT_EQ(Row(2).call.colour, colours::kWhite);

  ClusterSends(Down({"8", "3", "", "2"}) + Down({"8", "4", "", "2"}));
  EXPECT_TRUE(WaitClosed(*second));
  EXPECT_TRUE(StillConnected(*third));
  EXPECT_EQ(State(4), StreamState::kLoggedIn);
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

TEST_F(Dispatch, MonitorCopiesTextAndMessagesWithoutTextAreStillCarriedOut) {
  auto watched = ConnectUser("127.0.0.2");
  auto silent = LoggedInUser("G1SSS", "127.0.0.3");
  auto echoed = LoggedInUser("G1EEE", "127.0.0.4");
  FeedOn(2);
  Table().At(3).monitor_echo = 0;
  MonitorQueue();

  // Without a text field: no copy, but the login is confirmed and the row goes to the monitor.
  ClusterSends(Down({"6", "2"}));
  ASSERT_TRUE(WaitState(2, StreamState::kLoggedIn));
  std::vector<std::string> queued = MonitorQueue();
  EXPECT_EQ(Starting(queued, {"^ZQ64", "^ZQ70"}), std::vector<std::string>{});
  EXPECT_EQ(Starting(queued, {"^ZQ60^", "^ZQ66^"}).size(), 1u);
  EXPECT_EQ(Starting(queued, {"^ZQ60^2^0^127.0.0.2^"}).size(), 1u);

  ClusterSends(Down({"0", "2", "hello"}) + Down({"0", "3", "quiet"}) + Down({"3", "4", "line"}) +
               Down({"1", "2"}) + "more" + EOT + Down({"1", "2", "note"}));
  EXPECT_TRUE(UserGets(*watched, "hellomore"));
  EXPECT_TRUE(UserGets(*silent, "quiet"));
  EXPECT_TRUE(UserGets(*echoed, "line\r\n"));
  EXPECT_EQ(Starting(MonitorQueue(), {"^ZQ64", "^ZQ70"}),
            (std::vector<std::string>{"^ZQ64^\r\n\r\nhello" + EOT, "^ZQ70^2^hello\r\n" + EOT,
                                      "^ZQ70^4^line\r\n" + EOT, "^ZQ64^\r\n\r\nnote" + EOT,
                                      "^ZQ70^2^note\r\n" + EOT}));

  ClusterSends(Down({"8", "4"}));
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1EEE", "4", "0"})));
  EXPECT_TRUE(WaitClosed(*echoed));
  EXPECT_EQ(Starting(MonitorQueue(), {"^ZQ64", "^ZQ70"}), std::vector<std::string>{});
  EXPECT_EQ(ErrorLogText(), "");
}

}  // namespace
}  // namespace velgate::testing
