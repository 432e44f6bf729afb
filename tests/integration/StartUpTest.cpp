// Start-up against real loopback ports: what listens, what the settings file holds afterwards,
// and how failures on the way are reported.

#include <gtest/gtest.h>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

using StartUp = GatewayFixture;

TEST_F(StartUp, OpensMonitorUserAndClusterListenersAndRewritesTheSettings) {
  folder.Write("Velgate.cfg", StandardConfig({"\"Unknown Key\",\"x\"", "\"PreLoad\",5"}));
  Gateway& g = Start();

  EXPECT_TRUE(PortAnswers(monitor_port));
  EXPECT_TRUE(PortAnswers(user_port));
  EXPECT_TRUE(PortAnswers(cluster_port));
  EXPECT_EQ(g.Streams().Socket(1).State(), SocketState::kListening);
  // One listener, then PreLoad streams.
  EXPECT_EQ(g.Streams().StreamMax(), 6);
  EXPECT_EQ(g.CurrentSettings().FirstStreamIndex, 2);

  // Rewritten at once in the canonical order; the unknown record is gone.
  std::string written = folder.Read("Velgate.cfg").value();
  EXPECT_EQ(written.find("Unknown Key"), std::string::npos);
  EXPECT_EQ(written.rfind("\"AGWenabled\",0\r\n\"ClusterPort\"," + std::to_string(cluster_port) +
                              "\r\n\"UserPort\",\"" + std::to_string(user_port) + "\"\r\n",
                          0),
            0u);
  EXPECT_EQ(ErrorLogText(), "");
}

TEST_F(StartUp, ShowsTitleStatusLineAndListenerIndicators) {
  folder.Write("Velgate.cfg",
               StandardConfig({"\"UserPort\",\"" + std::to_string(second_user_port) + "\""}));
  Gateway& g = Start();

  const MainLabels& labels = g.View().Labels();
  EXPECT_EQ(labels.title, "Velgate Version 3.02");
  EXPECT_EQ(labels.lblDate,
            "Listening for cluster on " + g.LocalIP() + " port " + std::to_string(cluster_port));
  EXPECT_FALSE(labels.StartButtonVisible);
  EXPECT_EQ(labels.StatusColour, colours::kYellow);
  ASSERT_EQ(g.View().Indicators().size(), 3u);
  EXPECT_EQ(g.View().Indicators()[1].colour, colours::kGreen);
  EXPECT_EQ(g.View().Indicators()[2].colour, colours::kLightBlue);
  EXPECT_EQ(g.View().Indicators()[2].tip,
            "Listening for users on " + g.LocalIP() + " port " + std::to_string(second_user_port));
  EXPECT_TRUE(g.tmrDOS(1).Enabled());
  EXPECT_TRUE(g.tmrDOS(2).Enabled());
  // Two listeners and PreLoad 5: streams 3 to 7.
  EXPECT_EQ(g.Streams().StreamMax(), 7);
  EXPECT_EQ(g.CurrentSettings().FirstStreamIndex, 3);
}

TEST_F(StartUp, TheMonitorListenerWaitsForThePause) {
  folder.Write("Velgate.cfg", StandardConfig());
  gateway = std::make_unique<Gateway>(loop.io, loop.clock, loop.timers,
                                      GatewayOptions{folder.Path(), false});
  gateway->FormLoad();
  loop.AdvanceMs(249);
  EXPECT_EQ(gateway->VelgateMonitor().State(), SocketState::kClosed);
  EXPECT_EQ(gateway->VelgateCluster().State(), SocketState::kClosed);
  loop.AdvanceMs(1);
  EXPECT_EQ(gateway->VelgateMonitor().State(), SocketState::kListening);
  EXPECT_EQ(gateway->VelgateCluster().State(), SocketState::kListening);
}

TEST_F(StartUp, BridgeListenerFollowsTheUserPorts) {
  folder.Write("Velgate.cfg",
               ConfigLines({"\"AGWenabled\",1", "\"ClusterPort\"," + std::to_string(cluster_port),
                            "\"UserPort\",\"" + std::to_string(user_port) + "\"",
                            "\"UserPort\",\"" + std::to_string(second_user_port) + "\"",
                            "\"AGWport\",\"" + std::to_string(bridge_port) + "\"",
                            "\"MonitorPort\",\"" + std::to_string(monitor_port) + "\""}));
  Gateway& g = Start();

  EXPECT_EQ(g.CurrentSettings().NumListenPorts, 3);
  EXPECT_EQ(g.Streams().Socket(3).State(), SocketState::kListening);
  EXPECT_EQ(g.Streams().Socket(3).LocalPort(), bridge_port);
  EXPECT_TRUE(PortAnswers(bridge_port));
  EXPECT_EQ(g.View().Indicators()[3].tip,
            "Listening for agw2zqc on " + g.LocalIP() + " port " + std::to_string(bridge_port));
}

TEST_F(StartUp, SecondStartFromTheWrittenFileStillServesTheDefaultUserPort) {
  // A file with no user-port record, as a first start without a file writes it.
  folder.Write("Velgate.cfg",
               ConfigLines({"\"AGWenabled\",0", "\"ClusterPort\"," + std::to_string(cluster_port),
                            "\"AGWport\",\"9002\"",
                            "\"MonitorPort\",\"" + std::to_string(monitor_port) + "\""}));
  Gateway& g = Start();

  EXPECT_EQ(g.CurrentSettings().NumListenPorts, 1);
  EXPECT_EQ(g.Streams().Socket(1).LocalPort(), 7373);
  EXPECT_EQ(g.CurrentSettings().FirstStreamIndex, 2);
  // Nothing new is written: still no user-port record.
  EXPECT_EQ(folder.Read("Velgate.cfg").value().find("UserPort"), std::string::npos);
}

TEST_F(StartUp, DeletesIpLogsAndNothingElse) {
  folder.Write("Velgate.cfg", StandardConfig());
  folder.Write("ip.log", "x");
  folder.Write("ip20261204.log", "x");
  folder.Write("IP1.log", "x");
  folder.Write("ip1.log.bak", "x");
  folder.Write("notes.txt", "x");
  Start();

  EXPECT_FALSE(folder.Exists("ip.log"));
  EXPECT_FALSE(folder.Exists("ip20261204.log"));
  EXPECT_TRUE(folder.Exists("IP1.log"));
  EXPECT_TRUE(folder.Exists("ip1.log.bak"));
  EXPECT_TRUE(folder.Exists("notes.txt"));
}

TEST_F(StartUp, MovesAWindowThatWasFarOffScreen) {
  folder.Write("Velgate.cfg", StandardConfig({"\"Top\",-200000", "\"Left\",50"}));
  Start();

  std::string written = folder.Read("Velgate.cfg").value();
  EXPECT_NE(written.find("\"Top\",0\r\n\"Left\",0\r\n\"Height\",7000\r\n\"Width\",7000\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace velgate::testing
