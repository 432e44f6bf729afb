// The built velgated in a folder of its own: its files, its listeners, its operator lines and its
// ways out.

#include <gtest/gtest.h>

#include <csignal>

#include "GatewayFixture.h"
#include "VelgatedProcess.h"

namespace velgate::testing {
namespace {

class Velgated : public GatewayFixture {
 protected:
  // Start-up has opened every listener once it shows the cluster listener's status line. (A
  // probe of the cluster port would itself be taken for the cluster server.)
  bool Started(VelgatedProcess& velgated) {
    return Said(velgated, "status: Listening for cluster on ") && PortAnswers(user_port);
  }
  bool Said(VelgatedProcess& velgated, const std::string& text) {
    return velgated.WaitUntil([&] { return velgated.Errors().find(text) != std::string::npos; });
  }
  // Sends what the peer says, then waits until n bytes came back (or it closed); returns them.
  static std::string Exchange(VelgatedProcess& velgated, TestPeer& peer, const std::string& say,
                              std::size_t n) {
    peer.ClearReceived();
    peer.Send(say);
    velgated.WaitUntil([&] {
      peer.Pump();
      return peer.Received().size() >= n || peer.Closed();
    });
    std::string got = peer.Received();
    peer.ClearReceived();
    return got;
  }

  const std::string ready = "AA01^2^6" + ETX + "AA18^" + ETX;
};

TEST_F(Velgated, PortInUseIsLoggedAsAStartTelnetFailureAndQuitWritesTheSettings) {
  PortHolder holder(user_port);
  folder.Write("Velgate.cfg", StandardConfig());
  VelgatedProcess velgated({"--dir", folder.Path()});
  ASSERT_TRUE(velgated.WaitUntil([&] {
    return ErrorLogText().find(" StartTelnet Address in use\"\r\n") != std::string::npos;
  }));
  EXPECT_TRUE(PortAnswers(monitor_port));
  folder.Write("Velgate.cfg", folder.Read("Velgate.cfg").value() + "\"Unknown\",1\r\n");
  velgated.Type("quit");
  EXPECT_EQ(velgated.WaitForExit(), 0);
  EXPECT_EQ(folder.Read("Velgate.cfg").value().find("Unknown"), std::string::npos);
}

TEST_F(Velgated, FirstStartWithoutSettingsUsesTheDefaultPortsAndSoDoesTheSecond) {
  for (int port : {7373, 9003, 15555}) {
    if (PortAnswers(port)) GTEST_SKIP() << "port " << port << " is taken on this machine";
  }
  for (int start = 1; start <= 2; ++start) {
    VelgatedProcess velgated({"--dir", folder.Path()});
    ASSERT_TRUE(velgated.WaitUntil([&] {
      return PortAnswers(7373) && PortAnswers(9003) && PortAnswers(15555);
    })) << velgated.Errors();
    // No user-port record: the second start reads what the first wrote.
    EXPECT_EQ(folder.Read("Velgate.cfg")
                  .value()
                  .rfind("\"AGWenabled\",0\r\n\"ClusterPort\",9003\r\n\"AGWport\",\"9002\"\r\n", 0),
              0u);
    velgated.Type("quit");
    EXPECT_EQ(velgated.WaitForExit(), 0);
  }
}

TEST_F(Velgated, ServesTheClusterAUserAndAMonitorClientAndEndsOnSigtermWithoutWriting) {
  folder.Write("Velgate.cfg", StandardConfig({"\"Unknown\",1"}));
  folder.Write("ip1.log", "old");
  VelgatedProcess velgated({"--dir", folder.Path()});
  ASSERT_TRUE(Started(velgated)) << velgated.Errors();
  EXPECT_EQ(folder.Read("Velgate.cfg").value().find("Unknown"), std::string::npos);  // rewritten
  EXPECT_FALSE(folder.Exists("ip1.log"));
  const auto expect = [&](TestPeer& peer, const std::string& bytes) {
    EXPECT_EQ(Exchange(velgated, peer, "", bytes.size()), bytes);
  };
  TestPeer cluster(cluster_port);
  const std::string qrv_end = " 3.02^" + folder.Path() + ETX;
  const std::string qrv = Exchange(velgated, cluster, "ZQ Cluster", 23 + qrv_end.size());
  EXPECT_EQ(qrv.substr(0, 4) + qrv.substr(23), "QRV " + qrv_end);
  EXPECT_EQ(Exchange(velgated, cluster, "7261", ready.size()), ready);
  velgated.Type("send 4 G0ABC");
  expect(cluster, "AA00^4^G0ABC\r\n" + ETX);
  velgated.Type("send 1 listener");
  EXPECT_TRUE(Said(velgated, "send: the stream must be a number from 2 to 6"));

  // The drain has to have seen the monitor client before anything is queued for it.
  TestPeer monitor(monitor_port);
  ASSERT_TRUE(velgated.WaitUntil([&] {
    monitor.Send("M*^");
    monitor.Pump();
    return monitor.Received().find("^ZQ81^ 1^65280^" + N(user_port)) != std::string::npos;
  }));
  // Connection 1 was the probe that found the user port answering.
  TestPeer user(user_port, "127.0.0.7");
  expect(cluster, "AA02^2^6" + ETX + "AA03^Connect Request^2^3^127.0.0.7^1^2" + ETX);
  cluster.Send("3" + ETX + "2" + ETX + "login: " + EOT);
  expect(user, "login: ");
  user.Send("g1abc\r\n");
  expect(cluster, "AA03^2^g1abc" + ETX);
  cluster.Send("6" + ETX + "2" + EOT + "0" + ETX + "2" + ETX + "DX de K1TTT\r\n" + ETX + "2" + EOT);
  expect(user, "DX de K1TTT\r\n");
  user.Send("sh/dx\r");
  expect(cluster, "AA00^2^sh/dx\r\n" + ETX);
  // The monitor client watches the new stream: it gets a copy of the user's line.
  const std::string copy = "^ZQ63^sh/dx\r\n" + EOT;
  EXPECT_TRUE(velgated.WaitUntil(
      [&] { return monitor.Pump(), monitor.Received().find(copy) != std::string::npos; }));
  user.Close();
  expect(cluster, "AA17^g1abc^2^2" + ETX);

  velgated.Type("disc");
  ASSERT_TRUE(velgated.WaitUntil([&] { return cluster.Pump(), cluster.Closed(); }));
  velgated.Type("launch");
  EXPECT_TRUE(Said(velgated, "unknown command \"launch\""));

  // The end of its input is no shutdown; SIGTERM is, and writes nothing.
  const std::string edited = folder.Read("Velgate.cfg").value() + "\"Unknown\",2\r\n";
  folder.Write("Velgate.cfg", edited);
  velgated.CloseInput();
  TestPeer again(cluster_port);
  EXPECT_EQ(Exchange(velgated, again, "7261", ready.size()), ready);
  velgated.Signal(SIGTERM);
  EXPECT_EQ(velgated.WaitForExit(), 0);
  EXPECT_EQ(folder.Read("Velgate.cfg"), edited);
}

TEST(VelgatedCommandLine, VersionHelpAndUnknownArguments) {
  EXPECT_EQ(VelgatedProcess({"--version"}).WaitForExit(), 0);
  VelgatedProcess wrong({"--frobnicate"});
  EXPECT_EQ(wrong.WaitForExit(), 2);
  EXPECT_NE(wrong.Errors().find("usage: velgated"), std::string::npos);
}

}  // namespace
}  // namespace velgate::testing
