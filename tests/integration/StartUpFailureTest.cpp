// Start-up when something is wrong: bad records, a taken port, a broken highwater file.

#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

using StartUpFailure = GatewayFixture;

// Holds a port the way another program would.
class PortHolder {
 public:
  PortHolder(asio::io_context& io, int port)
      : acceptor_(
            io, asio::ip::tcp::endpoint(asio::ip::tcp::v4(), static_cast<unsigned short>(port))) {}
  void Release() { acceptor_.close(); }

 private:
  asio::ip::tcp::acceptor acceptor_;
};

TEST_F(StartUpFailure, BadRecordIsLoggedAndTheRecordsAfterItSurviveTheRewrite) {
  folder.Write("Velgate.cfg", StandardConfig({"\"PreLoad\",\"many\"", "\"Locked Out\",\"192.0.2.\"",
                                              "\"Cfg Left\",120"}));
  Gateway& g = Start();

  EXPECT_EQ(ErrorLogText(), "\"04-12-2026 1200Z ReadFix PreLoad many\"\r\n");
  EXPECT_EQ(g.View().Labels().txtError, "Error Nr 13 \"Read Fix\" Type mismatch");
  EXPECT_EQ(g.CurrentSettings().PreLoad, 5);
  std::string written = folder.Read("Velgate.cfg").value();
  EXPECT_NE(written.find("\"PreLoad\",5\r\n\"Locked Out\",\"192.0.2.\"\r\n"), std::string::npos);
  EXPECT_NE(written.find("\"Cfg Left\",120\r\n"), std::string::npos);
  EXPECT_TRUE(PortAnswers(user_port));
}

TEST_F(StartUpFailure, TakenUserPortStopsTheListenersAfterIt) {
  PortHolder holder(loop.io, user_port);
  folder.Write("Velgate.cfg",
               StandardConfig({"\"UserPort\",\"" + std::to_string(second_user_port) + "\""}));
  Gateway& g = Start();

  EXPECT_EQ(ErrorLogText(), "\"04-12-2026 1200Z StartTelnet Address in use\"\r\n");
  EXPECT_NE(g.Streams().Socket(1).State(), SocketState::kListening);
  EXPECT_EQ(g.Streams().Socket(2).State(), SocketState::kClosed);
  EXPECT_EQ(g.VelgateCluster().State(), SocketState::kClosed);
  EXPECT_FALSE(PortAnswers(second_user_port));
  EXPECT_FALSE(PortAnswers(cluster_port));
  // The monitor listener opened before the start action.
  EXPECT_TRUE(PortAnswers(monitor_port));
}

TEST_F(StartUpFailure, UserPortThatIsNotANumberIsAStartTelnetFailure) {
  folder.Write("Velgate.cfg", StandardConfig({"\"AGWenabled\",1", "\"AGWport\",\"bridge\""}));
  Gateway& g = Start();

  EXPECT_EQ(ErrorLogText(), "\"04-12-2026 1200Z StartTelnet Type mismatch\"\r\n");
  EXPECT_TRUE(PortAnswers(user_port));
  EXPECT_EQ(g.VelgateCluster().State(), SocketState::kClosed);
}

TEST_F(StartUpFailure, TakenMonitorPortDelaysTheListenersToTheFallbackStart) {
  PortHolder holder(loop.io, monitor_port);
  folder.Write("Velgate.cfg", StandardConfig());
  Gateway& g = Start();

  EXPECT_EQ(ErrorLogText(), "\"04-12-2026 1200Z FormLoad Address in use\"\r\n");
  EXPECT_FALSE(PortAnswers(user_port));
  EXPECT_TRUE(g.View().Labels().StartButtonVisible);

  loop.AdvanceMs(60000 - 250);
  EXPECT_FALSE(g.Timer4().Enabled());
  EXPECT_TRUE(g.Timer5().Enabled());
  EXPECT_FALSE(PortAnswers(user_port));
  EXPECT_FALSE(PortAnswers(cluster_port));

  loop.AdvanceMs(4999);
  EXPECT_FALSE(PortAnswers(user_port));
  loop.AdvanceMs(1);
  EXPECT_TRUE(PortAnswers(user_port));
  EXPECT_TRUE(PortAnswers(cluster_port));
  EXPECT_FALSE(g.Timer5().Enabled());
  EXPECT_FALSE(g.View().Labels().StartButtonVisible);
  EXPECT_EQ(g.View().Labels().title, "Cluster Velgate (Velgate Version 3.02 by QQ0QQ)");
  // The monitor listener stays closed until the next start.
  EXPECT_EQ(g.VelgateMonitor().State(), SocketState::kClosed);
}

TEST_F(StartUpFailure, DelayedStartDoesNothingAfterANormalStart) {
  folder.Write("Velgate.cfg", StandardConfig());
  Gateway& g = Start();
  ASSERT_FALSE(g.Timer4().Enabled());

  loop.AdvanceMs(70000);
  EXPECT_FALSE(g.Timer5().Enabled());
  EXPECT_EQ(g.View().Labels().title, "Velgate Version 3.02");
  EXPECT_EQ(ErrorLogText(), "");
}

TEST_F(StartUpFailure, HighwaterFileIsReadWithOrWithoutItsDate) {
  folder.Write("Velgate.cfg", StandardConfig());
  folder.Write("highwater.dat", "17,\"04-Dec-2026  05:30\"\r\n");
  Gateway& g = Start();

  EXPECT_EQ(g.Marks().AllTimeHigh, 17);
  EXPECT_EQ(g.View().Labels().Label4, " 17");
  EXPECT_EQ(g.View().Labels().Label5Tip, "All-Time Highwater Mark (04-Dec-2026  05:30)");
}

TEST_F(StartUpFailure, HighwaterFileWithOnlyTheNumber) {
  folder.Write("Velgate.cfg", StandardConfig());
  folder.Write("highwater.dat", "3\r\n");
  Gateway& g = Start();

  EXPECT_EQ(g.View().Labels().Label4, " 3");
  EXPECT_EQ(g.View().Labels().Label5Tip, "All-Time Highwater Mark. ");
  EXPECT_EQ(ErrorLogText(), "");
}

TEST_F(StartUpFailure, BrokenHighwaterFileIsReportedAndTheBridgeStillListens) {
  folder.Write(
      "Velgate.cfg",
      StandardConfig({"\"AGWenabled\",1", "\"AGWport\",\"" + std::to_string(bridge_port) + "\""}));
  folder.Write("highwater.dat", "");
  Gateway& g = Start();

  EXPECT_EQ(ErrorLogText(),
            "\"04-12-2026 1200Z ReadFix AGWport " + std::to_string(bridge_port) + "\"\r\n");
  EXPECT_EQ(g.Marks().AllTimeHigh, 0);
  EXPECT_EQ(g.CurrentSettings().UserPort(2), std::to_string(bridge_port));
  EXPECT_TRUE(PortAnswers(bridge_port));
}

}  // namespace
}  // namespace velgate::testing
