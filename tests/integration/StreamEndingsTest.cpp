// How a stream ends and what the cluster and the monitor hear: a hang-up, a socket error, a user
// who stops reading, a line without end, the login timeout (ticks of 5 s: 60, or 360 if refused).

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

constexpr std::int64_t kTick = 5000;

class StreamEndings : public GatewayFixture {
 protected:
  void SetUp() override { StartOnline({"\"Locked Out\",\"127.0.0.5\""}); }
};

TEST_F(StreamEndings, HangUpsReportWhatWasTypedAndSocketErrorsReportZero) {
  auto typing = ConnectUser("127.0.0.3");
  auto user = LoggedInUser("G1\x03X", "127.0.0.4");
  auto failing = LoggedInUser("G2\x03Y", "127.0.0.6");
  // A caller's "^" stays inside its field upstream, and its Chr(4) never ends a monitor message.
  typing->Send("G1^7^0\x04");
  ASSERT_TRUE(loop.RunUntil([&] { return Row(2).call.text == "G1^7^0\x04"; }));
  for (int s : {3, 4}) Row(s).address_tip = "04-Dec-2026 1200Z";
  const std::string white = "^16777215^", port = N(user->LocalPort()),
                    failing_port = N(failing->LocalPort());
  FeedOn(0);
  ClusterGot();
  typing->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1_7_0\x04", "2", "1"})));
  const Texts typed = MonitorQueue({"^ZQ66^2^"});
  ASSERT_EQ(typed.size(), 1u);
  EXPECT_NE(typed[0].find("^G1^7^0\x02^"), std::string::npos) << typed[0];
  user->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", std::string("G1\0X", 4), "3", "2"})));  // Chr(3) masked
  // Only the hang-up paints the port field and empties the login time.
  EXPECT_EQ(MonitorQueue({"^ZQ66^3^"}),
            Texts{"^ZQ66^3^0^127.0.0.4" + white + port + white + "G1\x02X" + white + "0^" + EOT});
  failing->Reset();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G2Y", "4", "0"})));  // Chr(3) dropped
  ASSERT_TRUE(WaitSocket(4, SocketState::kClosed));
  const std::string failed = "^ZQ66^4^0^127.0.0.6" + white + failing_port + "^65280^G2\x02Y" +
                             white + "0^04-Dec-2026 1200Z" + EOT;
  EXPECT_EQ(MonitorQueue({"^ZQ66^4^"}), (Texts{failed, failed}));
  // The caller gone before logging in is not ended again when its login time runs out.
  loop.AdvanceMs(100 * kTick);
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(StreamEndings, UserWhoStopsReadingIsEndedOnceWhileOthersKeepFlowing) {
  auto slow = LoggedInUser("SLOW", "127.0.0.2");
  auto fast = LoggedInUser("FAST", "127.0.0.3");
  // Several messages to a block, as a busy cluster sends them, the gateway reading in between.
  const std::string message = Down({"0", "2", std::string(16 * 1024, 'x')});
  const std::string flood = message + message + message + Down({"0", "2", std::string(9000, 'y')});
  const std::size_t flood_text = 3 * 16 * 1024 + 9000;
  std::string fast_expected;
  std::size_t addressed = 0;
  int sent = 0;
  for (; sent < 3000 && State(2) == StreamState::kLoggedIn; ++sent) {
    ClusterSends(flood);
    addressed += flood_text;
    loop.Poll();
    if (sent % 10 == 0) {
      ClusterSends(Down({"0", "3", "DX " + N(sent) + "\r\n"}));
      fast_expected += "DX " + N(sent) + "\r\n";
    }
  }
  ASSERT_LT(sent, 3000) << "the silent reader was never ended";
  for (int more = 0; more < 20; ++more) {  // still on its way for the ended stream
    ClusterSends(flood);
    loop.Poll();
  }
  EXPECT_TRUE(UserGets(*fast, fast_expected));
  EXPECT_TRUE(
      SentUp(*fast, "sh/dx\r\n", Up({"AA17", "SLOW", "2", "0"}) + Up({"AA00", "3", "sh/dx\r\n"})));
  EXPECT_EQ(ClusterGot(), "");  // the ending is reported once
  EXPECT_TRUE(WaitClosed(*slow));
  // Cut with a reset: what waited in the gateway (a little over 1 MiB) and in its kernel send
  // buffer is dropped, not left behind the close.
  EXPECT_TRUE(slow->WasReset());
  const std::size_t waiting = addressed - slow->Received().size();
  EXPECT_GT(waiting, std::size_t{1024 * 1024 - 16 * 1024});
  EXPECT_LE(waiting, 1024 * 1024 + flood_text + 2 * StreamTable::kUserSendBuffer);
}

TEST_F(StreamEndings, ConnectionsCarryKeepaliveAndABoundedSendBuffer) {
  const auto option = [](int fd, int level, int name) {
    int value = -1;
    socklen_t size = sizeof value;
    ::getsockopt(fd, level, name, &value, &size);
    return value;
  };
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  const int fd = Table().Socket(2).Descriptor();
  EXPECT_EQ(option(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
  EXPECT_EQ(option(fd, IPPROTO_TCP, TCP_KEEPIDLE), 120);
  EXPECT_EQ(option(fd, IPPROTO_TCP, TCP_KEEPINTVL), 30);
  EXPECT_EQ(option(fd, IPPROTO_TCP, TCP_KEEPCNT), 4);
  EXPECT_EQ(option(fd, SOL_SOCKET, SO_SNDBUF), 2 * StreamTable::kUserSendBuffer);
  EXPECT_EQ(option(Link().Socket().Descriptor(), IPPROTO_TCP, TCP_KEEPIDLE), 120);
  // The setting is read at each connection: a reload changes it for the next caller.
  folder.Write("Velgate.cfg", StandardConfig({"\"KeepAlive\",45"}));
  gateway->Reload();
  auto next = ConnectUser("127.0.0.3");
  EXPECT_EQ(option(Table().Socket(LastStream()).Descriptor(), IPPROTO_TCP, TCP_KEEPIDLE), 45);
  EXPECT_EQ(option(fd, IPPROTO_TCP, TCP_KEEPIDLE), 120);
}

TEST_F(StreamEndings, APasteArrivesWholeAndOnlyOneOverlongLineEndsTheStream) {
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  const std::string long_line = std::string(65000, 'b') + "\r\n";
  EXPECT_TRUE(SentUp(*user, long_line, Up({"AA00", "2", long_line})));
  // 180 KB of short lines in one write: every line reaches the cluster, in order.
  std::string paste;
  for (int i = 0; paste.size() < 180000; ++i)
    paste += "sh/dx " + std::string(26, 'a' + i % 26) + "\r\n";
  user->Send(paste);
  std::string carried;
  ASSERT_TRUE(loop.RunUntil([&] {
    cluster->Pump();
    carried.clear();
    for (std::string_view got = cluster->Received(); !got.empty();) {
      const std::size_t end = got.find(ETX);
      if (end == std::string_view::npos) break;
      EXPECT_TRUE(got.starts_with("AA00^2^"));
      carried += got.substr(7, end - 7);
      got.remove_prefix(end + 1);
    }
    return carried.size() >= paste.size();
  }));
  EXPECT_EQ(carried, paste);
  cluster->ClearReceived();
  EXPECT_TRUE(SentUp(*user, std::string(70000, 'a'), Up({"AA17", "G1ABC", "2", "1"})));
  EXPECT_TRUE(WaitClosed(*user));
  EXPECT_EQ(ErrorLogText(),
            "\"04-12-2026 1200Z VelgateIn_DataArrival Held text passed 65536 "
            "characters without a line end 2\"\r\n");
}

TEST_F(StreamEndings, LoginTimeoutEndsAtTick60FromTheConnectionOrForRefusedCallers360) {
  auto plain = ConnectUser("127.0.0.2");
  auto locked = ConnectUser("127.0.0.5");
  auto nuisance = ConnectUser("127.0.0.6");
  auto confirmed = LoggedInUser("G1AAA", "127.0.0.7");
  nuisance->Send("GET / HTTP/1.0\r\n");
  ASSERT_TRUE(WaitState(4, StreamState::kRefused));
  ClusterGot();
  loop.AdvanceMs(59 * kTick);
  EXPECT_TRUE(StillConnected(*plain) && ClusterGot().empty());
  loop.AdvanceMs(kTick);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "", "2", "1"})));
  EXPECT_TRUE(WaitClosed(*plain));

  // The next caller's 5 minutes count from its connection however much it types: "G" at 4 s
  // and "1" at 296 s (each within a 5 s period) do not keep it past tick 60 at 300 s.
  auto user = ConnectUser("127.0.0.3");
  ClusterGot();
  loop.AdvanceMs(4000);
  user->Send("G");
  ASSERT_TRUE(loop.RunUntil([&] { return Row(2).call.text == "G"; }));
  loop.AdvanceMs(292000);
  user->Send("1");
  ASSERT_TRUE(loop.RunUntil([&] { return Row(2).call.text == "G1"; }));
  loop.AdvanceMs(3999);
  EXPECT_TRUE(StillConnected(*user) && ClusterGot().empty());
  loop.AdvanceMs(1);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1", "2", "5"})));

  // 600 s now: the refused ones go at 1800 s.
  loop.AdvanceMs(1795000 - 600000);
  EXPECT_TRUE(StillConnected(*locked) && StillConnected(*nuisance) && ClusterGot().empty());
  loop.AdvanceMs(kTick);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "IP Locked Out", "3", "2"}) +
                          Up({"AA17", "GET / HTTP/1.0\r\n", "4", "3"})));
  EXPECT_TRUE(WaitClosed(*locked) && WaitClosed(*nuisance));
  loop.AdvanceMs(100 * kTick);
  EXPECT_TRUE(StillConnected(*confirmed) && ClusterGot().empty());
}

// The socket alone: completions that arrive after a close belong to the earlier occupant.
class TcpSocketTest : public ::testing::Test, TcpSocketEvents {
 protected:
  void OnConnectionRequest(int, PendingConnection& request) override { stream.Accept(request); }
  void OnDataArrival(int, std::string_view data) override { received += data; }
  void OnConnect(int) override {}
  void OnClose(int) override { ++events; }
  void OnError(int, const RunTimeError&) override { ++events; }

  TestLoop loop;
  TcpSocket listener{loop.io, *this, 1, 1024};
  TcpSocket stream{loop.io, *this, 2, 64 * 1024};
  std::string received;
  int events = 0;
};

TEST_F(TcpSocketTest, CompletionsOfAnEarlierOccupantDoNotReachTheNextOne) {
  listener.SetLocalPort(0);
  listener.Listen();
  TestPeer first(listener.LocalPort());
  first.Send("old");
  ASSERT_TRUE(loop.RunUntil([&] { return received == "old"; }));
  first.Send("late");
  stream.Close();
  first.Close();
  TestPeer second(listener.LocalPort());
  second.Send("new");
  ASSERT_TRUE(loop.RunUntil([&] { return received == "oldnew"; }));
  loop.Poll();
  EXPECT_EQ(received, "oldnew");
  EXPECT_EQ(stream.State(), SocketState::kConnected);
  EXPECT_EQ(events, 0);
}

}  // namespace
}  // namespace velgate::testing
