// Callers and peers that mean harm: the trusted ports take only their addresses, a silent caller
// cannot hold the cluster port, users cannot eat the descriptors the link needs, and floods of
// bad input cannot flood error.log.

#include <unistd.h>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class HostileCallers : public GatewayFixture {
 protected:
  bool SocketIs(TcpSocket& socket, SocketState state) {
    return loop.RunUntil([&] { return socket.State() == state; });
  }
};

TEST_F(HostileCallers, TrustedPortsCloseOtherAddressesWithoutAByteAndTakeTheirOwn) {
  trusted = "127.0.0.5";
  StartOffline();
  for (int port : {cluster_port, monitor_port}) {
    TestPeer intruder(port, "127.0.0.9");
    EXPECT_TRUE(WaitClosed(intruder)) << port;
    EXPECT_EQ(intruder.Received(), "") << port;
  }
  EXPECT_EQ(LogLinesWith("refused 127.0.0.9: not in ClusterAllow"), 1u);
  EXPECT_EQ(LogLinesWith("refused 127.0.0.9: not in MonitorAllow"), 1u);
  EXPECT_EQ(Link().Socket().State(), SocketState::kListening);

  cluster = std::make_unique<TestPeer>(cluster_port, "127.0.0.5");
  cluster->Send("7261");
  EXPECT_TRUE(loop.RunUntil([&] { return Link().ClusterOnline(); }));
  TestPeer monitor(monitor_port, "127.0.0.5");
  EXPECT_TRUE(SocketIs(gateway->Monitor().Socket(), SocketState::kConnected));
}

TEST_F(HostileCallers, OpenTrustedPortsAndAnEmptyLockOutAreToldAtStart) {
  trusted = "";
  StartOffline({"\"Locked Out\",\"\""});
  EXPECT_EQ(LogLinesWith("ReadFix an empty \"Locked Out\" entry refuses every caller"), 1u)
      << ErrorLogText();
  EXPECT_EQ(LogLinesWith("FormLoad the cluster port accepts any address"), 1u);
  EXPECT_EQ(LogLinesWith("FormLoad the monitor port accepts any address"), 1u);
  // Without the records the file stays as an existing installation has it.
  EXPECT_EQ(folder.Read("Velgate.cfg").value().find("Allow"), std::string::npos);
}

TEST_F(HostileCallers, SilentClusterCallerIsDroppedAfterTenSecondsAndTheRealServerGetsIn) {
  StartOffline();
  TestPeer silent(cluster_port);
  ASSERT_TRUE(SocketIs(Link().Socket(), SocketState::kConnected));
  loop.AdvanceMs(ClusterLink::kGreetingWaitMs - 1);
  EXPECT_TRUE(StillConnected(silent));
  loop.AdvanceMs(1);
  EXPECT_TRUE(WaitClosed(silent));
  EXPECT_EQ(LogLinesWith("VelgateCluster_Greeting no greeting within 10 s from 127.0.0.1"), 1u);
  ConnectCluster();
  loop.AdvanceMs(3 * ClusterLink::kGreetingWaitMs);
  EXPECT_TRUE(Link().ClusterOnline());
}

TEST_F(HostileCallers, UsersStopShortOfTheReserveAndTheLinkStillGetsADescriptor) {
  StartOnline();
  auto user = LoggedInUser("G1ABC", "127.0.0.3");
  const int s = LastStream();
  // From the lowest free descriptor on, everything is reserve: the next caller's socket in the
  // gateway lies in it.
  const int lowest_free = ::dup(0);
  ::close(lowest_free);
  gateway->Descriptors().Reserve().SetLimit(lowest_free + DescriptorReserve::kReserved);
  for (const char* address : {"127.0.0.4", "127.0.0.8"}) {
    TestPeer caller(user_port, address);
    EXPECT_TRUE(WaitClosed(caller)) << address;
    EXPECT_EQ(caller.Received(), "") << address;
  }
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_EQ(gateway->Descriptors().Refused(), 2);
  EXPECT_EQ(LogLinesWith("caller(s) refused: the descriptor reserve is reached"), 1u);

  cluster->Close();
  ASSERT_TRUE(SocketIs(Link().Socket(), SocketState::kListening));
  ConnectCluster();
  EXPECT_TRUE(SentUp(*user, "sh/dx\r\n", Up({"AA00", N(s), "sh/dx\r\n"})));
}

TEST_F(HostileCallers, AReconnectStormIsHeldAtTheDoorAndToldOncePerSpell) {
  StartOnline({"\"AGWenabled\",1", "\"RateLimit\",20"});
  LogLines();
  // 2,000 connects from one address, each sending a line end and hanging up, in bursts the
  // listener's backlog holds.
  const auto storm = [&](int connects, int port) {
    for (int i = 0; i < connects; ++i) {
      TestPeer caller(port, "127.0.0.7");
      caller.Send("\r\n");
      caller.Close();
      if (i % 100 == 99) loop.Poll();
    }
  };
  storm(2000, user_port);
  TestPeer last(user_port, "127.0.0.7");  // taken after every one before it
  ASSERT_TRUE(WaitClosed(last));
  const auto count = [](const std::string& text, const std::string& code) {
    std::size_t n = 0;
    for (auto at = text.find(code); at != std::string::npos; at = text.find(code, at + 1)) ++n;
    return n;
  };
  const std::string up = ClusterGot();
  EXPECT_EQ(count(up, "AA02^"), 20u);
  EXPECT_EQ(count(up, "AA03^Connect Request^"), 20u);
  EXPECT_EQ(LogLines({"<4>refused", "<4>rate"}),
            Texts{"<4>refused ip=127.0.0.7 port=" + N(user_port) + " reason=rate"});

  // Another address is served meanwhile; the bridge brings many callers from one program and is
  // never held back.
  auto other = ConnectUser("127.0.0.8");
  const std::int32_t before = Table().LastConnID();
  storm(31, bridge_port);
  ASSERT_TRUE(loop.RunUntil([&] { return Table().LastConnID() == before + 31; }));
  EXPECT_EQ(count(ClusterGot(), "AA03^Connect Request^"),
            32u);  // the other caller and all 31 of the bridge's
  EXPECT_EQ(LogLines({"<4>refused"}), Texts{});

  // The window over, the spell's end is told with its count, and the address is let in again.
  loop.AdvanceMs(60000);
  EXPECT_EQ(LogLines({"<4>rate"}), Texts{"<4>rate spell-ended ip=127.0.0.7 refused=1981"});
  auto back = ConnectUser("127.0.0.7");
  EXPECT_EQ(Table().Socket(LastStream()).State(), SocketState::kConnected);

  // A caller that hung up without a byte before its turn has its number, and nothing goes up.
  ClusterGot();
  const std::int32_t numbered = Table().LastConnID();
  TestPeer(user_port, "127.0.0.9").Close();
  ASSERT_TRUE(loop.RunUntil([&] { return Table().LastConnID() == numbered + 1; }));
  loop.RunUntil(Never, std::chrono::milliseconds(50));
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(HostileCallers, AFloodOfBadMonitorCommandsWritesAFewLinesAndCountsTheRest) {
  StartOffline();
  TestPeer monitor(monitor_port);
  ASSERT_TRUE(SocketIs(gateway->Monitor().Socket(), SocketState::kConnected));
  loop.AdvanceMs(20);  // the drain sees the client
  std::string flood;
  for (int i = 0; i < 100000; ++i) flood += "M99999^";
  monitor.Send(flood);
  // Socket traffic takes real time; virtual time stands still, so every line is in one second.
  ASSERT_TRUE(loop.RunUntil([&] { return ErrorLogLines() >= ErrorLogFile::kLinesPerSecond; }));
  loop.RunUntil(Never, std::chrono::milliseconds(300));
  const std::size_t lines = ErrorLogLines();
  EXPECT_EQ(lines, static_cast<std::size_t>(ErrorLogFile::kLinesPerSecond));
  // The next second's first line follows the count of what was left out.
  loop.AdvanceMs(1000);
  monitor.Send("M99999^");
  ASSERT_TRUE(loop.RunUntil([&] { return ErrorLogLines() == lines + 2; })) << ErrorLogLines();
  EXPECT_EQ(LogLinesWith(" more lines like this left out"), 1u);
}

}  // namespace
}  // namespace velgate::testing
