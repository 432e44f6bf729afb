// The monitor port with a fake monitor client: what it is sent, when, and what its commands do.

#include <algorithm>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class MonitorPortTest : public UserRoadFixture {
 protected:
  bool MonitorSocket(SocketState state) {
    return loop.RunUntil([&] { return gateway->Monitor().Socket().State() == state; });
  }
  // A monitor client that has been accepted and seen by one drain tick.
  std::unique_ptr<TestPeer> ConnectMonitor() {
    auto client = std::make_unique<TestPeer>(monitor_port);
    EXPECT_TRUE(MonitorSocket(SocketState::kConnected));
    loop.AdvanceMs(20);
    return client;
  }

  // The messages (without their Chr(4)) the client received by the next drain tick.
  std::vector<std::string> Drained(TestPeer& client, const std::string& command = "") {
    client.Send(command);
    Settle();
    loop.AdvanceMs(20);
    std::string text = Settled(client);
    client.ClearReceived();
    std::vector<std::string> messages;
    for (std::size_t end; (end = text.find('\x04')) != std::string::npos; text.erase(0, end + 1))
      messages.push_back(text.substr(0, end));
    EXPECT_EQ(text, "") << "a message without its Chr(4)";
    return messages;
  }

  // The summary while a cluster server is connected: its status line is empty then.
  std::vector<std::string> Summary() const {
    return {"^ZQ90^ 17^04-Dec-2026  05:30", "^ZQ91^ 0^", "^ZQ92^",
            "^ZQ81^ 1^65280^" + N(user_port)};
  }
};

TEST_F(MonitorPortTest, NothingIsQueuedWithoutAClientAndBeforeItsFirstTick) {
  StartOnline();
  auto early = ConnectUser("127.0.0.2");
  EXPECT_TRUE(MonitorQueue().empty());
  auto client = std::make_unique<TestPeer>(monitor_port);
  ASSERT_TRUE(MonitorSocket(SocketState::kConnected));
  EXPECT_EQ(gateway->View().Labels().Label2Colour, colours::kRed);
  EXPECT_FALSE(TestPeer(monitor_port).Connected());  // a second client is not accepted
  // Accepted, but the drain has not looked yet: this row is lost.
  auto dropped = ConnectUser("127.0.0.3");
  loop.AdvanceMs(20);
  auto seen = ConnectUser("127.0.0.4");
  EXPECT_EQ(Starting(Drained(*client), {"^ZQ66^"}),
            std::vector<std::string>{"^ZQ66^4^0^127.0.0.4^65535^" + Row(4).port.text +
                                     "^16777215^^16777215^0^"});
}

TEST_F(MonitorPortTest, FeedOnSendsTheSummaryWithTheMarkReadAtStartAndSetsEveryFlag) {
  folder.Write("highwater.dat", "17,\"04-Dec-2026  05:30\"\r\n");
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  Table().At(2).monitor_echo = 0;
  auto client = ConnectMonitor();
  gateway->Monitor().Feed().FollowNew = false;
  EXPECT_EQ(Drained(*client, "M*^"), Summary());
  for (int s = 2; s <= 6; ++s) EXPECT_TRUE(Table().At(s).monitor_echo);
  EXPECT_FALSE(gateway->Monitor().Feed().FollowNew);
  EXPECT_EQ(gateway->Monitor().Feed().MonitoredStream, 0);

  std::vector<std::string> messages = Drained(*client, "M*^B");
  ASSERT_EQ(messages.size(), 4u + 4u + 5u);
  EXPECT_EQ(std::vector<std::string>(messages.begin(), messages.begin() + 4), Summary());
  EXPECT_EQ(std::vector<std::string>(messages.begin() + 4, messages.begin() + 8), Summary());
  EXPECT_EQ(messages[8].substr(0, 20), "^ZQ66^2^0^127.0.0.2^");
  EXPECT_EQ(messages[12], "^ZQ66^6^0^^16777215^^16777215^^16777215^0^");
}

TEST_F(MonitorPortTest, FlagsThenASelectionAndABadFlagReportedWithTheRestStillCounting) {
  StartOnline({"\"PreLoad\",15"});
  auto client = ConnectMonitor();
  std::vector<std::string> messages = Drained(*client, "M5^N7^12");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].substr(0, 11), "^ZQ60^12^0^");
  EXPECT_TRUE(Table().At(5).monitor_echo);
  EXPECT_FALSE(Table().At(7).monitor_echo);
  EXPECT_FALSE(gateway->Monitor().Feed().FollowNew);
  EXPECT_EQ(gateway->Monitor().Feed().MonitoredStream, 12);
  // "M*" without its "^" selects stream 0; -1 and a number past the table select none.
  messages = Drained(*client, "M*");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].substr(0, 10), "^ZQ60^0^0^");
  for (const std::string selection : {"-1", "17"}) {
    gateway->Monitor().Feed().MonitoredStream = 5;
    EXPECT_TRUE(Drained(*client, selection).empty()) << selection;
    EXPECT_EQ(gateway->Monitor().Feed().MonitoredStream, 0);
  }

  Drained(*client, "M99999^A");
  EXPECT_EQ(ErrorLogText(),
            "\"04-12-2026 1200Z VelgateMonitor_DataArrival Subscript out of range\"\r\n");
  EXPECT_EQ(gateway->View().Labels().txtError,
            "9 monitored stream = 0 x= 7y= 0 z= 0spot= 2Subscript out of range");
  EXPECT_TRUE(gateway->Monitor().Feed().FollowNew);
}

TEST_F(MonitorPortTest, CopiesOfALoggedInUsersTrafficGoOnlyWhileTheFeedIsOn) {
  StartOnline();
  auto client = ConnectMonitor();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  ASSERT_EQ(gateway->Monitor().Feed().MonitoredStream, 2);
  Drained(*client);
  const auto traffic = [&](const std::string& text) {
    user->Send("sh/dx\r");
    ClusterWaitFor(15);
    ClusterSends(Down({"0", "2", text}));
    UserWaitFor(*user, text.size());
  };
  traffic("DX de K1TTT\r\n");
  EXPECT_EQ(Drained(*client),
            (std::vector<std::string>{"^ZQ63^sh/dx\r\n", "^ZQ64^\r\n\r\nDX de K1TTT\r\n",
                                      "^ZQ70^2^DX de K1TTT\r\n\r\n"}));

  // Feed off: no copies, but rows, counters and marks still go.
  Drained(*client, "M-^");
  traffic("text");
  ClusterSends(Down({"4", "2", "G1ABC"}));
  loop.AdvanceMs(30000);
  auto second = ConnectUser("127.0.0.3");
  const std::vector<std::string> messages = Drained(*client, "B");
  EXPECT_TRUE(Starting(messages, {"^ZQ63^", "^ZQ64^", "^ZQ70^", "^ZQ60^2^6^"}).empty());
  EXPECT_EQ(Starting(messages, {"^ZQ91^ 1^"}).size(), 2u);  // the mark rises; the summary
  EXPECT_EQ(Starting(messages, {"^ZQ90^ 1^"}).size(), 2u);
  EXPECT_EQ(Starting(messages, {"^ZQ80^"}),
            (std::vector<std::string>{"^ZQ80^ 1^1^", "^ZQ80^ 1^0^"}));
  EXPECT_EQ(Starting(messages, {"^ZQ66^3^"}).size(), 2u);  // accepted; the reply to "B"
}

TEST_F(MonitorPortTest, LeftoversOfOneClientGoFirstToTheNext) {
  StartOnline();
  auto first = ConnectMonitor();
  first->Close();
  ASSERT_TRUE(MonitorSocket(SocketState::kListening));
  EXPECT_FALSE(gateway->Monitor().Feed().MonitorActive);
  EXPECT_EQ(gateway->View().Labels().Label2Colour, colours::kButtonFace);
  // No tick yet since the close: the drain still thinks a client is there.
  auto user = ConnectUser("127.0.0.2");
  auto next = ConnectMonitor();
  EXPECT_EQ(Drained(*next).at(0).substr(0, 20), "^ZQ66^2^0^127.0.0.2^");
}

TEST_F(MonitorPortTest, FullRingIsLoggedEmptiedAndGrown) {
  StartOnline();
  MonitorFeed& feed = gateway->Monitor().Feed();
  feed.SockState = SocketState::kConnected;
  for (int i = 0; i < 5002; ++i) feed.SendToMonitor("m" + N(i));
  EXPECT_EQ(ErrorLogText(), "\"04-12-2026 1200Z SendToMonitor  Sendbuffer overflow 0 5000\"\r\n");
  EXPECT_EQ(feed.BufferMax, 6000);
  EXPECT_EQ(feed.MonitorBuffer().size(), 6001u);
  EXPECT_TRUE(MonitorQueue().empty());
}

TEST_F(MonitorPortTest, ClientThatNeverReadsIsDroppedOnceWhileUsersGoOn) {
  StartOnline();
  auto client = ConnectMonitor();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  const std::string text(60000, 'x');
  for (int i = 0; i < 400 && gateway->Monitor().Socket().State() == SocketState::kConnected; ++i) {
    ClusterSends(Down({"0", "2", text}));
    user->WaitForBytes(loop, text.size());
    user->ClearReceived();
    loop.AdvanceMs(20);
  }
  ASSERT_TRUE(MonitorSocket(SocketState::kListening));
  EXPECT_EQ(ErrorLogLines(), 1u) << ErrorLogText();
  EXPECT_NE(ErrorLogText().find("VelgateMonitor_Error"), std::string::npos);
  EXPECT_FALSE(gateway->Monitor().Feed().MonitorActive);
  user->Send("still here\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA00", "2", "still here\r\n"})));
}

}  // namespace
}  // namespace velgate::testing
