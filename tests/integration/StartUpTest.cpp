// Start-up and shutdown: what listens, what the settings file holds, failures and closes.

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

using StartUp = GatewayFixture;

TEST_F(StartUp, OpensTheListenersAfterThePauseRewritesTheSettingsAndDeletesIpLogs) {
  folder.Write("Velgate.cfg",
               StandardConfig({PortRecord("UserPort", second_user_port), "\"Unknown Key\",\"x\"",
                               "\"Top\",-200000", "\"PreLoad\",\"many\"",
                               "\"Locked Out\",\"192.0.2.\"", "\"Cfg Left\",120"}));
  for (const char* name : {"ip.log", "ip20261204.log", "IP1.log", "ip1.log.bak"})
    folder.Write(name, "x");
  Gateway& g = Start(false);
  loop.AdvanceMs(249);
  EXPECT_FALSE(PortAnswers(monitor_port) || PortAnswers(user_port));
  EXPECT_EQ(g.Link().Socket().State(), SocketState::kClosed);
  loop.AdvanceMs(1);
  EXPECT_EQ(g.Link().Socket().State(), SocketState::kListening);
  for (int port : {monitor_port, user_port, second_user_port}) EXPECT_TRUE(PortAnswers(port));

  // The bad record is logged; the file rewritten at once, in order, the window back on screen.
  EXPECT_EQ(ErrorLogText(), "\"04-12-2026 1200Z ReadFix PreLoad many\"\r\n");
  EXPECT_EQ(Labels().txtError, "Error Nr 13 \"Read Fix\" Type mismatch");
  EXPECT_EQ(folder.Read("Velgate.cfg"), ConfigLines({"\"AGWenabled\",0",
                                                     "\"ClusterPort\"," + N(cluster_port),
                                                     PortRecord("UserPort", user_port),
                                                     PortRecord("UserPort", second_user_port),
                                                     PortRecord("AGWport", bridge_port),
                                                     PortRecord("MonitorPort", monitor_port),
                                                     "\"PreLoad\",5",
                                                     "\"Locked Out\",\"192.0.2.\"",
                                                     "\"ClusterAllow\",\"127.\"",
                                                     "\"MonitorAllow\",\"127.\"",
                                                     "\"Top\",0",
                                                     "\"Left\",0",
                                                     "\"Height\",7000",
                                                     "\"Width\",7000",
                                                     "\"Cfg Left\",120",
                                                     "\"Cfg Top\",0",
                                                     "\"LockOuts Top\",0",
                                                     "\"LockOuts Left\",0",
                                                     "\"LockOuts Height\",5625",
                                                     "\"LockOuts Width\",3675"}));
  EXPECT_FALSE(folder.Exists("ip.log") || folder.Exists("ip20261204.log"));
  EXPECT_TRUE(folder.Exists("IP1.log") && folder.Exists("ip1.log.bak"));

  // The delayed start does nothing after a normal start.
  loop.AdvanceMs(70000);
  EXPECT_EQ(ErrorLogLines(), 1u);
}

TEST_F(StartUp, ATakenPortIsReportedAsAFailureAndTheOtherListenersStillOpen) {
  folder.Write("Velgate.cfg", StandardConfig({PortRecord("UserPort", second_user_port)}));
  PortHolder holder(user_port);
  Gateway& g = Start();
  EXPECT_EQ(ErrorLogText(), "\"04-12-2026 1200Z StartTelnet Address in use\"\r\n");
  EXPECT_EQ(Labels().txtError,
            "Cannot listen for users on port " + N(user_port) + ": Address in use");
  EXPECT_EQ(g.Streams().Socket(2).State(), SocketState::kListening);
  EXPECT_EQ(g.Link().Socket().State(), SocketState::kListening);
  EXPECT_TRUE(PortAnswers(monitor_port));

  // The cluster's port taken: the status line says so, never "Listening".
  holder.Release();
  g.CloseByProgram();
  loop.Poll();
  PortHolder cluster_holder(cluster_port);
  Start();
  EXPECT_EQ(Labels().lblDate,
            "Cannot listen for cluster on port " + N(cluster_port) + ": Address in use");
  EXPECT_TRUE(PortAnswers(user_port));
}

TEST_F(StartUp, TakenMonitorPortDelaysTheListenersToTheFallbackStart) {
  PortHolder holder(monitor_port);
  folder.Write("Velgate.cfg", StandardConfig());
  Gateway& g = Start();
  EXPECT_EQ(ErrorLogText(), "\"04-12-2026 1200Z FormLoad Address in use\"\r\n");

  loop.AdvanceMs(65000 - 250 - 1);
  EXPECT_FALSE(PortAnswers(user_port));
  loop.AdvanceMs(1);
  EXPECT_TRUE(PortAnswers(user_port));
  EXPECT_EQ(g.Link().Socket().State(), SocketState::kListening);
  EXPECT_EQ(g.Monitor().Socket().State(), SocketState::kClosed);
}

TEST_F(StartUp, OperatorCloseWritesTheSettingsOtherClosesWriteNothingAndNoTimerActsAfter) {
  folder.Write("Velgate.cfg", StandardConfig());
  for (bool by_operator : {true, false}) {
    Gateway& g = Start();
    const std::string edited = folder.Read("Velgate.cfg").value() + "\"Unknown\",1\r\n";
    folder.Write("Velgate.cfg", edited);
    by_operator ? g.CloseByUser() : g.CloseByProgram();
    loop.Poll();
    EXPECT_TRUE(shut_down);
    EXPECT_EQ(folder.Read("Velgate.cfg") == edited, !by_operator);
    EXPECT_FALSE(PortAnswers(user_port) || PortAnswers(cluster_port) || PortAnswers(monitor_port));
  }
  // Closed before the pause ended: neither the monitor listener nor the delayed start opens.
  Start(false).CloseByProgram();
  loop.AdvanceMs(70000);
  EXPECT_FALSE(PortAnswers(monitor_port) || PortAnswers(user_port));
  EXPECT_EQ(loop.timers.EnabledCount(), 0u);
}

}  // namespace
}  // namespace velgate::testing
