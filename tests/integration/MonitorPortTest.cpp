// The monitor port with a fake monitor client: what it is sent, when, and what its commands do.

#include <gtest/gtest.h>

#include "UserRoadFixture.h"

namespace velgate::testing {
namespace {

class MonitorPortTest : public UserRoadFixture {
 protected:
  // A monitor client that has been accepted and seen by one drain tick.
  std::unique_ptr<TestPeer> ConnectMonitor() {
    auto client = std::make_unique<TestPeer>(monitor_port);
    EXPECT_TRUE(loop.RunUntil(
        [&] { return gateway->VelgateMonitor().State() == SocketState::kConnected; }));
    loop.AdvanceMs(20);
    return client;
  }

  // The messages the client received after a drain tick, each without its Chr(4).
  std::vector<std::string> Drained(TestPeer& client) {
    loop.AdvanceMs(20);
    Settle();
    client.Pump();
    std::vector<std::string> messages;
    std::string text = client.Received();
    client.ClearReceived();
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\x04', start)) != std::string::npos; start = end + 1) {
      messages.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "a message without its Chr(4)";
    return messages;
  }

  static std::vector<std::string> WithPrefix(const std::vector<std::string>& messages,
                                             const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& m : messages) {
      if (m.rfind(prefix, 0) == 0) found.push_back(m);
    }
    return found;
  }

  // The summary while a cluster server is connected: its status line is empty then.
  std::string Summary() const {
    return "^ZQ90^ 0^|^ZQ91^ 0^|^ZQ92^|^ZQ81^ 1^65280^" + std::to_string(user_port) + "|";
  }

  static std::string Joined(const std::vector<std::string>& messages) {
    std::string text;
    for (const std::string& m : messages) text += m + "|";
    return text;
  }
};

TEST_F(MonitorPortTest, NothingIsQueuedWithoutAClientAndBeforeItsFirstTick) {
  StartOnline();
  auto early = ConnectUser("127.0.0.2");
  std::string message;
  EXPECT_FALSE(gateway->Monitor().TakeNext(message));

  auto client = std::make_unique<TestPeer>(monitor_port);
  ASSERT_TRUE(
      loop.RunUntil([&] { return gateway->VelgateMonitor().State() == SocketState::kConnected; }));
  EXPECT_EQ(gateway->View().Labels().Label2Colour, colours::kRed);
  // Accepted, but the drain has not looked yet: this row is lost.
  auto dropped = ConnectUser("127.0.0.3");
  loop.AdvanceMs(20);
  auto seen = ConnectUser("127.0.0.4");
  std::vector<std::string> rows = WithPrefix(Drained(*client), "^ZQ66^");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], "^ZQ66^4^0^127.0.0.4^65535^" + Row(4).port.text + "^16777215^^16777215^0^");
}

TEST_F(MonitorPortTest, FeedOnSendsTheSummaryAndSetsEveryFlag) {
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  gateway->Streams().StreamMonitorEcho[2] = 0;
  auto client = ConnectMonitor();
  gateway->Monitor().FollowNew = false;
  client->Send("M*^");
  Settle();
  EXPECT_EQ(Joined(Drained(*client)), Summary());
  for (int s = 2; s <= 6; ++s)
    EXPECT_TRUE(gateway->Streams().StreamMonitorEcho[static_cast<std::size_t>(s)]);
  EXPECT_FALSE(gateway->Monitor().FollowNew);
  EXPECT_EQ(gateway->Monitor().MonitoredStream, 0);

  client->Send("M*^B");
  Settle();
  std::vector<std::string> messages = Drained(*client);
  ASSERT_EQ(messages.size(), 4u + 4u + 5u);
  EXPECT_EQ(Joined({messages.begin(), messages.begin() + 8}), Summary() + Summary());
  EXPECT_EQ(messages[8].substr(0, 20), "^ZQ66^2^0^127.0.0.2^");
  EXPECT_EQ(messages[12], "^ZQ66^6^0^^16777215^^16777215^^16777215^0^");
}

TEST_F(MonitorPortTest, FlagsThenASelection) {
  StartOnline({"\"PreLoad\",15"});
  auto client = ConnectMonitor();
  client->Send("M5^N7^12");
  Settle();
  std::vector<std::string> messages = Drained(*client);
  EXPECT_TRUE(gateway->Streams().StreamMonitorEcho[5]);
  EXPECT_FALSE(gateway->Streams().StreamMonitorEcho[7]);
  EXPECT_FALSE(gateway->Monitor().FollowNew);
  EXPECT_EQ(gateway->Monitor().MonitoredStream, 12);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].substr(0, 11), "^ZQ60^12^0^");

  // "M*" without its "^" selects stream 0; -1 and a number past the table select none.
  client->Send("M*");
  Settle();
  messages = Drained(*client);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].substr(0, 10), "^ZQ60^0^0^");
  for (const std::string selection : {"-1", "17"}) {
    gateway->Monitor().MonitoredStream = 5;
    client->Send(selection);
    Settle();
    EXPECT_TRUE(Drained(*client).empty()) << selection;
    EXPECT_EQ(gateway->Monitor().MonitoredStream, 0);
  }
}

TEST_F(MonitorPortTest, BadFlagIsReportedAndTheRestOfTheBlockStillCounts) {
  StartOnline();
  auto client = ConnectMonitor();
  gateway->Monitor().FollowNew = false;
  client->Send("M99999^A");
  Settle();
  EXPECT_EQ(ErrorLogText(),
            "\"04-12-2026 1200Z VelgateMonitor_DataArrival Subscript out of range\"\r\n");
  EXPECT_EQ(gateway->View().Labels().txtError,
            "9 monitored stream = 0 x= 7y= 0 z= 0spot= 2Subscript out of range");
  EXPECT_TRUE(gateway->Monitor().FollowNew);
}

TEST_F(MonitorPortTest, CopiesOfALoggedInUsersTraffic) {
  StartOnline();
  auto client = ConnectMonitor();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  ASSERT_EQ(gateway->Monitor().MonitoredStream, 2);
  Drained(*client);

  user->Send("sh/dx\r");
  ClusterWaitFor(15);
  ClusterSends(Down({"0", "2", "DX de K1TTT\r\n"}));
  UserWaitFor(*user, 13);
  EXPECT_EQ(Joined(Drained(*client)),
            "^ZQ63^sh/dx\r\n|^ZQ64^\r\n\r\nDX de K1TTT\r\n|^ZQ70^2^DX de K1TTT\r\n\r\n|");

  // Confirmations without a text field are carried out while the feed is on, and not copied.
  ClusterSends(Down({"6", "2"}) + Down({"8", "2"}));
  ASSERT_TRUE(loop.RunUntil([&] { return Table().Socket(2).State() == SocketState::kClosed; }));
  std::vector<std::string> messages = Drained(*client);
  EXPECT_TRUE(WithPrefix(messages, "^ZQ64^").empty());
  EXPECT_EQ(WithPrefix(messages, "^ZQ60^2^0^").size(), 1u);  // the confirmation
  EXPECT_EQ(WithPrefix(messages, "^ZQ66^2^0^").size(), 2u);  // reported ended, then closed
  EXPECT_EQ(ClusterGot(), Up({"AA17", "G1ABC", "2", "0"}));
}

TEST_F(MonitorPortTest, FeedOffStopsCopiesButNotRowsCountersOrMarks) {
  StartOnline();
  gateway->Monitor().FollowNew = true;
  auto client = ConnectMonitor();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  client->Send("M-^");
  Settle();
  Drained(*client);

  user->Send("sh/dx\r");
  ClusterWaitFor(15);
  ClusterSends(Down({"0", "2", "text"}) + Down({"4", "2", "G1ABC"}));
  UserWaitFor(*user, 4);
  loop.AdvanceMs(30000);
  auto second = ConnectUser("127.0.0.3");
  client->Send("B");
  Settle();
  std::vector<std::string> messages = Drained(*client);
  for (const std::string prefix : {"^ZQ63^", "^ZQ64^", "^ZQ70^", "^ZQ60^2^6^"}) {
    EXPECT_TRUE(WithPrefix(messages, prefix).empty()) << prefix;
  }
  EXPECT_EQ(WithPrefix(messages, "^ZQ91^ 1^").size(), 2u);  // the mark rises; the summary
  EXPECT_EQ(WithPrefix(messages, "^ZQ90^ 1^").size(), 2u);
  EXPECT_EQ(Joined(WithPrefix(messages, "^ZQ80^")), "^ZQ80^ 1^1^|^ZQ80^ 1^0^|");
  EXPECT_EQ(WithPrefix(messages, "^ZQ66^3^").size(), 2u);  // accepted; the reply to "B"
}

TEST_F(MonitorPortTest, LeftoversOfOneClientGoFirstToTheNext) {
  StartOnline();
  auto first = ConnectMonitor();
  first->Close();
  ASSERT_TRUE(
      loop.RunUntil([&] { return gateway->VelgateMonitor().State() == SocketState::kListening; }));
  EXPECT_FALSE(gateway->Monitor().MonitorActive);
  EXPECT_EQ(gateway->View().Labels().Label2Colour, colours::kButtonFace);
  // No tick yet since the close: the drain still thinks a client is there.
  auto user = ConnectUser("127.0.0.2");

  auto next = ConnectMonitor();
  EXPECT_TRUE(gateway->Monitor().MonitorActive);
  std::vector<std::string> messages = Drained(*next);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0].substr(0, 20), "^ZQ66^2^0^127.0.0.2^");
}

TEST_F(MonitorPortTest, SecondClientIsNotAccepted) {
  StartOnline();
  auto client = ConnectMonitor();
  TestPeer second(monitor_port);
  EXPECT_FALSE(second.Connected());
}

TEST_F(MonitorPortTest, SummaryCarriesTheMarkReadAtStart) {
  folder.Write("highwater.dat", "17,\"04-Dec-2026  05:30\"\r\n");
  StartOnline();
  auto client = ConnectMonitor();
  client->Send("M*^");
  Settle();
  std::vector<std::string> messages = Drained(*client);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[0], "^ZQ90^ 17^04-Dec-2026  05:30");
}

TEST_F(MonitorPortTest, FullRingIsLoggedEmptiedAndGrown) {
  StartOnline();
  MonitorFeed& feed = gateway->Monitor();
  feed.SockState = 7;
  for (int i = 0; i < 5002; ++i) feed.SendToMonitor("m" + std::to_string(i));
  EXPECT_EQ(ErrorLogText(), "\"04-12-2026 1200Z SendToMonitor  Sendbuffer overflow 0 5000\"\r\n");
  EXPECT_EQ(feed.BufferMax, 6000);
  EXPECT_EQ(feed.MonitorBuffer().size(), 6001u);
  std::string message;
  EXPECT_FALSE(feed.TakeNext(message));
}

TEST_F(MonitorPortTest, ClientThatNeverReadsIsDroppedWhileUsersGoOn) {
  StartOnline();
  auto client = ConnectMonitor();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  const std::string text(60000, 'x');
  for (int i = 0; i < 400 && gateway->VelgateMonitor().State() == SocketState::kConnected; ++i) {
    ClusterSends(Down({"0", "2", text}));
    user->WaitForBytes(loop, text.size());
    user->ClearReceived();
    loop.AdvanceMs(20);
  }
  ASSERT_TRUE(
      loop.RunUntil([&] { return gateway->VelgateMonitor().State() == SocketState::kListening; }));
  EXPECT_EQ(ErrorLogLines(), 1u) << ErrorLogText();
  EXPECT_NE(ErrorLogText().find("VelgateMonitor_Error"), std::string::npos);
  EXPECT_FALSE(gateway->Monitor().MonitorActive);
  user->Send("still here\r\n");
  EXPECT_EQ(ClusterWaitFor(20), Up({"AA00", "2", "still here\r\n"}));
}

}  // namespace
}  // namespace velgate::testing
