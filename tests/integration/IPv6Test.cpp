// IPv6 callers through the whole road, on ::1: the ports listen on both families, an IPv6 caller
// is shown, told to the cluster and matched by its RFC 5952 text, counted per /64, and address
// lists take networks in CIDR form. Loopback holds ::1 alone, so a /64's other addresses are
// tested where they are counted (AddressTest).

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ControlFixture.h"
#include "platform/TcpSocket.h"

namespace velgate::testing {
namespace {

class IPv6 : public ControlFixture {
 protected:
  void SetUp() override {
    const int probe = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 loopback{};
    loopback.sin6_family = AF_INET6;
    loopback.sin6_addr = in6addr_loopback;
    const bool bound =
        probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0;
    if (probe >= 0) ::close(probe);
    if (!bound) GTEST_SKIP() << "this machine has no IPv6 loopback";
  }
  static std::string Refusal(const std::string& ip, int port, const std::string& reason) {
    return "<4>refused ip=" + ip + " port=" + N(port) + " reason=" + reason;
  }
  void TearDown() override {
    TcpSocket::SetIPv6Enabled(true);
    TcpSocket::SetListenAddresses({});
  }
};

TEST_F(IPv6, ACallerOnColonColonOneLogsInAndTheClusterAndMonitorSeeItsText) {
  trusted = "::1/128";  // the cluster server and the monitor client come over IPv6 too
  folder.Write("Velgate.cfg", StandardConfig());
  Start();
  cluster = std::make_unique<TestPeer>(cluster_port, "::1");
  ASSERT_TRUE(loop.RunUntil([&] { return Link().Socket().State() == SocketState::kConnected; }));
  cluster->Send("7261");
  ASSERT_TRUE(loop.RunUntil([&] { return Link().ClusterOnline(); }));
  EXPECT_EQ(LogLines({"<6>cluster connected"}), Texts{"<6>cluster connected ip=::1"});
  ClusterGot();

  FeedOn(2);
  auto user = ConnectUser("::1");
  const int s = LastStream();
  EXPECT_TRUE(ClusterGets(Announced(s, "::1", Table().LastConnID())));
  EXPECT_EQ(Row(s).address.text, "::1");
  SendsLogin(*user, s, "g1abc");
  ClusterSends(Down({"6", N(s)}));
  ASSERT_TRUE(WaitState(s, StreamState::kLoggedIn));
  EXPECT_EQ(LogLines({"<6>user logged-in"}),
            Texts{"<6>user logged-in stream=2 call=g1abc ip=::1 port=" + N(user_port)});
  const Texts rows = MonitorQueue({"^ZQ66^"});
  ASSERT_FALSE(rows.empty());
  EXPECT_TRUE(rows.back().starts_with("^ZQ66^2^0^::1^")) << rows.back();

  // A new cluster server hears of the user in the resync, with its address.
  cluster->Close();
  ASSERT_TRUE(loop.RunUntil([&] { return Link().Socket().State() == SocketState::kListening; }));
  TestPeer not_allowed(cluster_port);  // 127.0.0.1 is not in ClusterAllow "::1/128"
  EXPECT_TRUE(WaitClosed(not_allowed));
  cluster = std::make_unique<TestPeer>(cluster_port, "::1");
  cluster->Send("7261");
  ASSERT_TRUE(loop.RunUntil([&] { return Link().ClusterOnline(); }));
  EXPECT_NE(ClusterGot().find("AA38^g1abc^2^2^::1^"), std::string::npos);

  OpenControl();
  EXPECT_NE(Ask("streams --address ::1/128").find(" ::1 "), std::string::npos);

  // MonitorAllow "::1/128" takes the monitor client on ::1 and closes one on 127.0.0.1.
  TestPeer not_watching(monitor_port);
  EXPECT_TRUE(WaitClosed(not_watching));
  TestPeer watching(monitor_port, "::1");
  EXPECT_TRUE(loop.RunUntil(
      [&] { return gateway->Monitor().Socket().State() == SocketState::kConnected; }));
}

TEST_F(IPv6, TheNinthLimitCountsPerSlash64AndTheGuardTellsTheNetwork) {
  StartOnline({"\"RateLimit\",12", "\"RateWindow\",60"});
  LogLines();
  std::vector<Peer> users;
  for (int i = 0; i < 9; ++i) users.push_back(ConnectUser("::1"));
  TestPeer tenth(user_port, "::1");
  EXPECT_TRUE(WaitClosed(tenth));
  EXPECT_EQ(LogLines({"<4>refused"}), Texts{Refusal("::1", user_port, "per-address-limit")});
  users.clear();
  for (int i = 0; i < 3; ++i) TestPeer(user_port, "::1").Send("\r\n");
  TestPeer over(user_port, "::1");
  EXPECT_TRUE(WaitClosed(over));
  EXPECT_EQ(LogLines({"<4>refused"}), Texts{Refusal("::1", user_port, "rate")});
  loop.AdvanceMs(60000);
  EXPECT_EQ(LogLines({"<4>rate"}), Texts{"<4>rate spell-ended ip=::/64 refused=2"});
}

TEST_F(IPv6, NetworksInEveryListAndANuisanceLocksOutItsSlash64) {
  StartOnline({"\"Locked Out\",\"10.0.0.0/8\"", "\"Locked Out\",\"127.0.0.32/30\"",
               "\"Locked Out\",\"::2/127\"", "\"Locked Out\",\"1\"",
               "\"Locked Out\",\"2001:db8::/33x\""});
  EXPECT_EQ(CurrentLockOuts(), (Texts{"10.0.0.0/8", "127.0.0.32/30", "::2/127", "1"}));
  const auto refused = [&](const std::string& source) {
    ClusterGot();
    auto caller = ConnectUser(source);
    const bool locked_out =
        loop.RunUntil([&] { return State(LastStream()) == StreamState::kRefused; },
                      std::chrono::milliseconds(100));
    return locked_out;
  };
  // "1" is a text prefix of IPv4 addresses; ::1 is outside ::2/127; 127.0.0.35 is inside /30.
  EXPECT_FALSE(refused("::1"));
  EXPECT_TRUE(refused("127.0.0.35"));
  EXPECT_TRUE(refused("127.0.0.1"));  // "1"
  StartOnline({"\"Locked Out\",\"::/127\""});
  EXPECT_TRUE(refused("::1"));

  // A nuisance caller from ::1 locks out its /64, and the file keeps it.
  StartOnline();
  OpenControl();
  auto nuisance = ConnectUser("::1");
  nuisance->Send("GET / HTTP/1.0\r\n");
  ASSERT_TRUE(loop.RunUntil([&] { return CurrentLockOuts() == Texts{"::/64"}; }));
  EXPECT_EQ(Ask("lockout add 2001:db8::/129").rfind("error: ", 0), 0u);
  const std::string added = Ask("lockout add 2001:db8::/32");
  EXPECT_NE(added.find("added"), std::string::npos) << added;
  const std::string written = folder.Read("Velgate.cfg").value_or("");
  for (const char* record :
       {"\"Locked Out\",\"::/64\"\r\n", "\"Locked Out\",\"2001:db8::/32\"\r\n"})
    EXPECT_NE(written.find(record), std::string::npos) << record << written;
}

TEST_F(IPv6, AnOutgoingConnectionReachesColonColonOne) {
  StartOnline();
  PortHolder far(0, "::1");
  ClusterSends(Down({"9", "G1ABC", "::1", N(far.Port())}));
  ASSERT_TRUE(WaitSocket(2, SocketState::kConnected));
  EXPECT_NE(ClusterGot().find("AA38^G1ABC^2^2^::1^"), std::string::npos);
  Peer far_side;
  EXPECT_TRUE(loop.RunUntil([&] { return (far_side = far.Accept()) != nullptr; }));
}

TEST_F(IPv6, WithoutIPv6TheListenersOpenOnIPv4AndSaySoOnce) {
  TcpSocket::SetIPv6Enabled(false);
  StartOnline();
  EXPECT_EQ(LogLines({"<4>listen"}),
            Texts{"<4>listen ipv4-only error=\"Address family not supported by protocol\""});
  EXPECT_FALSE(TestPeer(user_port, "::1").Connected());
  auto user = ConnectUser("127.0.0.9");
  EXPECT_EQ(Row(LastStream()).address.text, "127.0.0.9");
}

TEST_F(IPv6, ListenAddressNamesTheAddressesEveryPortListensOn) {
  StartOffline({"\"ListenAddress\",\"::1\"", "\"ListenAddress\",\"localhost\""});
  auto user = ConnectUser("::1");
  EXPECT_TRUE(UserGets(*user, "Cluster is offline.  Please try later.\r\n"));
  EXPECT_FALSE(TestPeer(user_port).Connected());  // 127.0.0.1 is not listened on
  EXPECT_FALSE(TestPeer(cluster_port).Connected());
  EXPECT_TRUE(TestPeer(cluster_port, "::1").Connected());
  const std::string written = folder.Read("Velgate.cfg").value_or("");
  EXPECT_NE(written.find("\"ListenAddress\",\"::1\"\r\n"), std::string::npos) << written;
  EXPECT_EQ(written.find("localhost"), std::string::npos) << written;

  StartOffline({"\"ListenAddress\",\"127.0.0.1\"", "\"ListenAddress\",\"::1\""});
  auto both = ConnectUser("::1");
  auto again = ConnectUser("127.0.0.1");
}

}  // namespace
}  // namespace velgate::testing
