// The two closes: the operator's writes the settings first, any other writes nothing.

#include <gtest/gtest.h>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

using Shutdown = GatewayFixture;

TEST_F(Shutdown, OperatorCloseWritesTheSettingsThenClosesEverySocket) {
  folder.Write("Velgate.cfg", StandardConfig());
  Gateway& g = Start();
  folder.Write("Velgate.cfg", folder.Read("Velgate.cfg").value() + "\"Unknown\",1\r\n");

  g.CloseByUser();
  loop.Poll();

  EXPECT_TRUE(shut_down);
  EXPECT_EQ(folder.Read("Velgate.cfg").value().find("Unknown"), std::string::npos);
  EXPECT_FALSE(PortAnswers(user_port));
  EXPECT_FALSE(PortAnswers(cluster_port));
  EXPECT_FALSE(PortAnswers(monitor_port));
}

TEST_F(Shutdown, OtherClosesWriteNothing) {
  folder.Write("Velgate.cfg", StandardConfig());
  Gateway& g = Start();
  std::string edited = folder.Read("Velgate.cfg").value() + "\"Unknown\",1\r\n";
  folder.Write("Velgate.cfg", edited);

  g.CloseByProgram();
  loop.Poll();

  EXPECT_TRUE(shut_down);
  EXPECT_EQ(folder.Read("Velgate.cfg").value(), edited);
  EXPECT_FALSE(PortAnswers(user_port));
}

TEST_F(Shutdown, NoTimerActsAfterShutdown) {
  folder.Write("Velgate.cfg", StandardConfig());
  gateway = std::make_unique<Gateway>(loop.io, loop.clock, loop.timers,
                                      GatewayOptions{folder.Path(), false});
  gateway->FormLoad();
  // Closed before the pause ended: neither the monitor listener nor the delayed start opens.
  gateway->CloseByProgram();
  loop.AdvanceMs(70000);

  EXPECT_FALSE(PortAnswers(monitor_port));
  EXPECT_FALSE(PortAnswers(user_port));
  EXPECT_EQ(loop.timers.EnabledCount(), 0u);
}

}  // namespace
}  // namespace velgate::testing
