// The monitor port with a fake monitor client: what it is sent, when, and what its commands do.

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class MonitorPortTest : public GatewayFixture {
 protected:
  bool MonitorSocket(SocketState state) {
    return loop.RunUntil([&] { return gateway->Monitor().Socket().State() == state; });
  }
  // A monitor client, accepted and seen by one drain tick.
  Peer ConnectMonitor() {
    auto client = std::make_unique<TestPeer>(monitor_port);
    EXPECT_TRUE(MonitorSocket(SocketState::kConnected));
    loop.AdvanceMs(20);
    return client;
  }

  // The messages (without their Chr(4)) the client received by the next drain tick.
  Texts Drained(TestPeer& client, const std::string& command = "") {
    client.Send(command);
    Settle();
    loop.AdvanceMs(20);
    std::string text = UserWaitFor(client, 0);
    Texts messages;
    for (std::size_t end; (end = text.find('\x04')) != std::string::npos; text.erase(0, end + 1))
      messages.push_back(text.substr(0, end));
    EXPECT_EQ(text, "") << "a message without its Chr(4)";
    return messages;
  }
};

TEST_F(MonitorPortTest, NothingIsQueuedWithoutAClientAndBeforeItsFirstTickAndLeftoversGoOn) {
  StartOnline();
  auto early = ConnectUser("127.0.0.2");
  EXPECT_TRUE(MonitorQueue().empty());
  auto client = std::make_unique<TestPeer>(monitor_port);
  ASSERT_TRUE(MonitorSocket(SocketState::kConnected));
  EXPECT_FALSE(TestPeer(monitor_port).Connected());  // a second client is not accepted
  // Accepted, but the drain has not looked yet: this row is lost.
  auto dropped = ConnectUser("127.0.0.3");
  loop.AdvanceMs(20);
  auto seen = ConnectUser("127.0.0.4");
  EXPECT_EQ(Starting(Drained(*client), {"^ZQ66^"}),
            Texts{"^ZQ66^4^0^127.0.0.4^65535^" + Row(4).port.text + "^16777215^^16777215^0^"});

  client->Close();
  ASSERT_TRUE(MonitorSocket(SocketState::kListening));
  // No tick since the close: the drain still sees a client and queues this row, but a new
  // client starts with an empty queue.
  auto user = ConnectUser("127.0.0.5");
  EXPECT_GT(Feed().QueuedBytes(), 0u);
  auto next = ConnectMonitor();
  EXPECT_TRUE(Starting(Drained(*next), {"^ZQ66^5^"}).empty());
}

TEST_F(MonitorPortTest, CommandsSetFlagsSelectAndAskForTheSummaryWithTheMarkReadAtStart) {
  folder.Write("highwater.dat", "17,\"04-Dec-2026  05:30\"\r\n");
  StartOnline({"\"PreLoad\",15"});
  auto user = ConnectUser("127.0.0.2");
  auto client = ConnectMonitor();
  Texts messages = Drained(*client, "M5^N7^12");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].substr(0, 11), "^ZQ60^12^0^");
  EXPECT_TRUE(Table().At(5).monitor_echo);
  EXPECT_FALSE(Table().At(7).monitor_echo);
  EXPECT_FALSE(Feed().FollowNew);
  // "M*" without its "^" selects stream 0; a number past the table selects none.
  messages = Drained(*client, "M*");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].substr(0, 10), "^ZQ60^0^0^");
  Feed().MonitoredStream = 5;
  EXPECT_TRUE(Drained(*client, "17").empty());
  EXPECT_EQ(Feed().MonitoredStream, 0);
  // The summary; its status line is empty while a cluster server is connected.
  const Texts summary = {"^ZQ90^ 17^04-Dec-2026  05:30", "^ZQ91^ 0^", "^ZQ92^",
                         "^ZQ81^ 1^65280^" + N(user_port)};
  EXPECT_EQ(Drained(*client, "M*^"), summary);
  EXPECT_TRUE(Table().At(7).monitor_echo);
  messages = Drained(*client, "M*^B");
  ASSERT_EQ(messages.size(), 4u + 4u + 15u);
  EXPECT_EQ(Texts(messages.begin() + 4, messages.begin() + 8), summary);
  EXPECT_EQ(messages[8].substr(0, 20), "^ZQ66^2^0^127.0.0.2^");
  EXPECT_EQ(messages[22], "^ZQ66^16^0^^16777215^^16777215^^16777215^0^");
  Drained(*client, "M99999^A");
  EXPECT_EQ(ErrorLogText(),
            "\"04-12-2026 1200Z VelgateMonitor_DataArrival Subscript out of range\"\r\n");
  EXPECT_EQ(Labels().txtError, "9 monitored stream = 0 x= 7y= 0 z= 0spot= 2Subscript out of range");
  EXPECT_TRUE(Feed().FollowNew);
}

TEST_F(MonitorPortTest, CopiesGoOfMessagesWithTextOnlyAndOnlyWhileTheFeedIsOn) {
  StartOnline();
  auto client = ConnectMonitor();
  auto quiet = LoggedInUser("G1QQQ", "127.0.0.2");
  auto user = LoggedInUser("G1ABC", "127.0.0.3");  // the newest stream: followed
  // The code 6 that logged them in has no text: nothing to copy. Stream 2 is traced no more.
  EXPECT_EQ(Starting(Drained(*client, "N2^"), {"^ZQ63", "^ZQ64", "^ZQ70"}), Texts{});
  const auto traffic = [&](const std::string& text) {
    user->Send("sh/dx\r");
    UserWaitFor(*cluster, 15);
    ClusterSends(Down({"0", "3", text}) + Down({"0", "2", "quiet"}) + Down({"1", "3"}) + "more" +
                 EOT + Down({"1", "3", "note"}));
    EXPECT_TRUE(UserGets(*user, text + "more"));
    EXPECT_TRUE(UserGets(*quiet, "quiet"));
  };
  traffic("DX de K1TTT\r\n");
  EXPECT_EQ(Drained(*client),
            (Texts{"^ZQ63^sh/dx\r\n", "^ZQ64^\r\n\r\nDX de K1TTT\r\n",
                   "^ZQ70^3^DX de K1TTT\r\n\r\n", "^ZQ64^\r\n\r\nnote", "^ZQ70^3^note\r\n"}));

  // Feed off: no copies, but rows, counters and marks still go.
  Drained(*client, "M-^");
  traffic("text");
  ClusterSends(Down({"4", "3", "G1ABC"}));
  loop.AdvanceMs(30000);
  auto second = ConnectUser("127.0.0.4");
  const Texts messages = Drained(*client, "B");
  EXPECT_TRUE(Starting(messages, {"^ZQ63^", "^ZQ64^", "^ZQ70^", "^ZQ60^3^6^"}).empty());
  EXPECT_EQ(Starting(messages, {"^ZQ91^ 2^"}).size(), 2u);  // the mark rises; the summary
  EXPECT_EQ(Starting(messages, {"^ZQ90^ 2^"}).size(), 2u);
  EXPECT_EQ(Starting(messages, {"^ZQ80^"}), (Texts{"^ZQ80^ 1^1^", "^ZQ80^ 1^0^"}));
  EXPECT_EQ(Starting(messages, {"^ZQ66^4^"}).size(), 2u);  // accepted; the reply to "B"
}

TEST_F(MonitorPortTest, FullRingIsLoggedEmptiedAndGrownByAThousand) {
  StartOnline();
  Feed().SockState = SocketState::kConnected;
  // The ring holds 5001 messages: the next is an overflow; grown, the 6002nd after it is one.
  for (int i = 0; i < 5002 + 6002; ++i) Feed().SendToMonitor("m" + N(i));
  const std::string line = "\"04-12-2026 1200Z SendToMonitor  Sendbuffer overflow 0 ";
  EXPECT_EQ(ErrorLogText(), line + "5000\"\r\n" + line + "6000\"\r\n");
  EXPECT_TRUE(MonitorQueue().empty());
}

TEST_F(MonitorPortTest, QueuedBytesAreBoundedAndGivenBackOnceTaken) {
  StartOnline();
  Feed().SockState = SocketState::kConnected;
  const std::string large(30 * 1024, 'x');
  for (int i = 0; i < 100; ++i) Feed().SendToMonitor(large);
  EXPECT_EQ(Feed().QueuedBytes(), 100 * (large.size() + 1));
  std::string taken;
  while (Feed().TakeNext(taken)) {
  }
  // Nothing beyond an empty string's own room stays in the ring.
  std::size_t kept = Feed().QueuedBytes();
  for (const std::string& slot : Feed().MonitorBuffer())
    kept += slot.capacity() - std::string().capacity();
  EXPECT_EQ(kept, 0u);
  // A burst past the byte bound is one overflow, and the queue never holds more than the bound.
  std::size_t most = 0;
  for (int i = 0; i < 400; ++i) {
    Feed().SendToMonitor(large);
    most = std::max(most, Feed().QueuedBytes());
  }
  EXPECT_LE(most, MonitorFeed::kMaxQueuedBytes);
  EXPECT_EQ(ErrorLogLines(), 1u) << ErrorLogText();
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
  EXPECT_FALSE(Feed().MonitorActive);
  EXPECT_TRUE(SentUp(*user, "still here\r\n", Up({"AA00", "2", "still here\r\n"})));
}

}  // namespace
}  // namespace velgate::testing
