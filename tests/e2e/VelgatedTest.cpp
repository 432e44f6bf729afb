// The built velgated in a folder of its own: its files, its listeners and its two ways out.

#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>
#include <csignal>

#include "GatewayFixture.h"
#include "TempFolder.h"
#include "TestPeer.h"
#include "VelgatedProcess.h"

namespace velgate::testing {
namespace {

class Velgated : public ::testing::Test {
 protected:
  Velgated() {
    std::vector<int> ports = FreePorts(3);
    user_port = ports[0];
    cluster_port = ports[1];
    monitor_port = ports[2];
  }

  std::string Config(std::initializer_list<std::string> extra = {}) const {
    std::string text =
        ConfigLines({"\"AGWenabled\",0", "\"ClusterPort\"," + std::to_string(cluster_port),
                     "\"UserPort\",\"" + std::to_string(user_port) + "\"", "\"AGWport\",\"9002\"",
                     "\"MonitorPort\",\"" + std::to_string(monitor_port) + "\""});
    for (const std::string& line : extra) text += line + "\r\n";
    return text;
  }

  // Start-up has opened every listener once it shows the cluster listener's status line. (A
  // probe of the cluster port would itself be taken for the cluster server.)
  bool AllListening(VelgatedProcess& velgated) {
    return velgated.WaitUntil([&] {
      return velgated.Errors().find("status: Listening for cluster on ") != std::string::npos;
    }) && PortAnswers(user_port);
  }

  // Sends what the peer says, then waits until n bytes came back (or it closed); returns them.
  static std::string Exchange(VelgatedProcess& velgated, TestPeer& peer, const std::string& say,
                              std::size_t n) {
    peer.ClearReceived();
    if (!say.empty()) peer.Send(say);
    velgated.WaitUntil([&] {
      peer.Pump();
      return peer.Received().size() >= n || peer.Closed();
    });
    std::string got = peer.Received();
    peer.ClearReceived();
    return got;
  }

  TempFolder folder;
  int user_port;
  int cluster_port;
  int monitor_port;
};

TEST_F(Velgated, StartsListeningRewritesItsSettingsAndQuitsOnTheOperatorsWord) {
  folder.Write("Velgate.cfg", Config({"\"Unknown\",1"}));
  folder.Write("ip1.log", "old");
  folder.Write("keep.log", "mine");
  VelgatedProcess velgated({"--dir", folder.Path()});

  ASSERT_TRUE(AllListening(velgated)) << velgated.Errors();
  EXPECT_EQ(folder.Read("Velgate.cfg").value().find("Unknown"), std::string::npos);
  EXPECT_FALSE(folder.Exists("ip1.log"));
  EXPECT_TRUE(folder.Exists("keep.log"));
  EXPECT_NE(velgated.Errors().find("status: Listening for cluster on "), std::string::npos);

  // Edited while it runs: the operator's close writes the settings again.
  folder.Write("Velgate.cfg", folder.Read("Velgate.cfg").value() + "\"Unknown\",2\r\n");
  velgated.Type("quit");
  EXPECT_EQ(velgated.WaitForExit(), 0);
  EXPECT_EQ(folder.Read("Velgate.cfg").value().find("Unknown"), std::string::npos);
  EXPECT_FALSE(PortAnswers(user_port));
}

TEST_F(Velgated, SigtermEndsItWithoutWritingTheSettings) {
  folder.Write("Velgate.cfg", Config());
  VelgatedProcess velgated({"--dir", folder.Path()});
  ASSERT_TRUE(AllListening(velgated)) << velgated.Errors();

  std::string edited = folder.Read("Velgate.cfg").value() + "\"Unknown\",1\r\n";
  folder.Write("Velgate.cfg", edited);
  velgated.Signal(SIGTERM);
  EXPECT_EQ(velgated.WaitForExit(), 0);
  EXPECT_EQ(folder.Read("Velgate.cfg").value(), edited);
}

TEST_F(Velgated, EndOfInputIsNotAShutdownAndUnknownLinesAreAnswered) {
  folder.Write("Velgate.cfg", Config());
  VelgatedProcess velgated({"--dir", folder.Path()});
  ASSERT_TRUE(AllListening(velgated)) << velgated.Errors();

  velgated.Type("launch");
  ASSERT_TRUE(velgated.WaitUntil(
      [&] { return velgated.Errors().find("unknown command \"launch\"") != std::string::npos; }));
  velgated.Signal(SIGINT);
  EXPECT_EQ(velgated.WaitForExit(), 0);
}

TEST_F(Velgated, PortInUseIsLoggedAsAStartTelnetFailure) {
  asio::io_context io;
  asio::ip::tcp::acceptor holder(
      io, asio::ip::tcp::endpoint(asio::ip::tcp::v4(), static_cast<unsigned short>(user_port)));
  folder.Write("Velgate.cfg", Config());
  VelgatedProcess velgated({"--dir", folder.Path()});

  ASSERT_TRUE(velgated.WaitUntil([&] {
    return folder.Read("error.log").value_or("").find(" StartTelnet Address in use\"\r\n") !=
           std::string::npos;
  }));
  EXPECT_FALSE(PortAnswers(cluster_port));
  EXPECT_TRUE(PortAnswers(monitor_port));
  velgated.Signal(SIGTERM);
  EXPECT_EQ(velgated.WaitForExit(), 0);
}

TEST_F(Velgated, FirstStartWithoutSettingsUsesTheDefaultPorts) {
  for (int port : {7373, 9003, 15555}) {
    if (PortAnswers(port)) GTEST_SKIP() << "port " << port << " is taken on this machine";
  }
  VelgatedProcess velgated({"--dir", folder.Path()});
  ASSERT_TRUE(velgated.WaitUntil([&] {
    return PortAnswers(7373) && PortAnswers(9003) && PortAnswers(15555);
  })) << velgated.Errors();
  EXPECT_EQ(folder.Read("Velgate.cfg").value(),
            ConfigLines({"\"AGWenabled\",0", "\"ClusterPort\",9003", "\"AGWport\",\"9002\"",
                         "\"MonitorPort\",\"15555\"", "\"PreLoad\",5", "\"Top\",0", "\"Left\",0",
                         "\"Height\",4000", "\"Width\",4000", "\"Cfg Left\",0", "\"Cfg Top\",0",
                         "\"LockOuts Top\",0", "\"LockOuts Left\",0", "\"LockOuts Height\",5625",
                         "\"LockOuts Width\",3675"}));
  velgated.Type("quit");
  EXPECT_EQ(velgated.WaitForExit(), 0);

  // The second start reads what the first one wrote and still serves the user port.
  VelgatedProcess again({"--dir", folder.Path()});
  ASSERT_TRUE(again.WaitUntil([&] { return PortAnswers(7373) && PortAnswers(9003); }))
      << again.Errors();
  again.Signal(SIGTERM);
  EXPECT_EQ(again.WaitForExit(), 0);
}

TEST_F(Velgated, ClusterServerHandshakeConsoleLineDiscAndReconnect) {
  folder.Write("Velgate.cfg", Config());
  VelgatedProcess velgated({"--dir", folder.Path()});
  ASSERT_TRUE(AllListening(velgated)) << velgated.Errors();

  auto exchange = [&](TestPeer& cluster, const std::string& say, std::size_t expect_bytes) {
    return Exchange(velgated, cluster, say, expect_bytes);
  };

  TestPeer cluster(cluster_port);
  ASSERT_TRUE(cluster.Connected());
  const std::string qrv = exchange(cluster, "ZQ Cluster", 4);
  EXPECT_EQ(qrv.substr(0, 4), "QRV ");
  EXPECT_NE(qrv.find(" 3.02^" + folder.Path() + "\x03"), std::string::npos) << qrv;
  EXPECT_EQ(exchange(cluster, "7261", 15), std::string("AA01^2^6\x03") + "AA18^\x03");

  velgated.Type("send 4 G0ABC");
  EXPECT_EQ(exchange(cluster, "", 15), "AA00^4^G0ABC\r\n\x03");
  velgated.Type("send 1 listener");
  ASSERT_TRUE(velgated.WaitUntil([&] {
    return velgated.Errors().find("send: the stream must be a number from 2 to 6") !=
           std::string::npos;
  }));

  velgated.Type("disc");
  ASSERT_TRUE(velgated.WaitUntil([&] {
    cluster.Pump();
    return cluster.Closed();
  }));
  TestPeer again(cluster_port);
  ASSERT_TRUE(again.Connected());
  EXPECT_EQ(exchange(again, "7261", 15), std::string("AA01^2^6\x03") + "AA18^\x03");
  velgated.Type("quit");
  EXPECT_EQ(velgated.WaitForExit(), 0);
}

TEST_F(Velgated, UserLogsInExchangesLinesAndHangsUp) {
  folder.Write("Velgate.cfg", Config());
  VelgatedProcess velgated({"--dir", folder.Path()});
  ASSERT_TRUE(AllListening(velgated)) << velgated.Errors();
  auto wait_for = [&](TestPeer& peer, std::size_t n) { return Exchange(velgated, peer, "", n); };
  const std::string e = "\x03";
  const std::string t = "\x04";

  TestPeer cluster(cluster_port);
  cluster.Send("7261");
  ASSERT_EQ(wait_for(cluster, 15), "AA01^2^6" + e + "AA18^" + e);

  // Connection 1 was the probe that found the user port answering.
  TestPeer user(user_port, "127.0.0.7");
  ASSERT_TRUE(user.Connected());
  EXPECT_EQ(wait_for(cluster, 42), "AA02^2^6" + e + "AA03^Connect Request^2^3^127.0.0.7^1^2" + e);
  cluster.Send("3" + e + "2" + e + "login: " + t);
  EXPECT_EQ(wait_for(user, 7), "login: ");
  user.Send("g1abc\r\n");
  EXPECT_EQ(wait_for(cluster, 12), "AA03^2^g1abc" + e);
  cluster.Send("4" + e + "2" + e + "G1ABC" + t + "3" + e + "2" + e + "Hello G1ABC" + t);
  const std::string ack = wait_for(cluster, 31);
  EXPECT_EQ(ack.substr(0, 7), "AA04^2^");
  EXPECT_EQ(ack.substr(ack.size() - 4), "^80" + e);
  EXPECT_EQ(wait_for(user, 13), "Hello G1ABC\r\n");

  user.Send("sh/dx\r");
  EXPECT_EQ(wait_for(cluster, 15), "AA00^2^sh/dx\r\n" + e);
  cluster.Send("0" + e + "2" + e + "DX de K1TTT:  14025.0  JA1ABC\r\n" + e + "2" + t);
  EXPECT_EQ(wait_for(user, 33), "DX de K1TTT:  14025.0  JA1ABC\r\n");

  user.Close();
  EXPECT_EQ(wait_for(cluster, 15), "AA17^G1ABC^2^2" + e);
  velgated.Type("quit");
  EXPECT_EQ(velgated.WaitForExit(), 0);
}

TEST_F(Velgated, MonitorClientSeesALoginAndItsTraffic) {
  folder.Write("Velgate.cfg", Config());
  VelgatedProcess velgated({"--dir", folder.Path()});
  ASSERT_TRUE(AllListening(velgated)) << velgated.Errors();
  auto wait_for = [&](TestPeer& peer, std::size_t n) { return Exchange(velgated, peer, "", n); };
  const std::string e = "\x03";
  const std::string t = "\x04";

  TestPeer cluster(cluster_port);
  cluster.Send("7261");
  ASSERT_EQ(wait_for(cluster, 15).size(), 15u);

  // The drain has to have seen the client before anything is queued for it.
  TestPeer monitor(monitor_port);
  ASSERT_TRUE(velgated.WaitUntil([&] {
    monitor.Send("M*^");
    monitor.Pump();
    return monitor.Received().find("^ZQ81^") != std::string::npos;
  }));
  const std::string summary = "^ZQ90^ 0^" + t + "^ZQ91^ 0^" + t + "^ZQ92^" + t + "^ZQ81^ 1^65280^" +
                              std::to_string(user_port) + t;
  EXPECT_EQ(monitor.Received().substr(0, summary.size()), summary);

  TestPeer user(user_port, "127.0.0.7");
  const std::string port = std::to_string(user.LocalPort());
  const std::string accepted = "^ZQ66^2^0^127.0.0.7^65535^" + port + "^16777215^^16777215^0^" + t;
  // Summaries asked for while waiting may still arrive before the row; they all come first.
  ASSERT_TRUE(velgated.WaitUntil([&] {
    monitor.Pump();
    return monitor.Received().find(accepted) != std::string::npos;
  }));
  std::string before = monitor.Received().substr(0, monitor.Received().find(accepted));
  while (before.rfind(summary, 0) == 0) before.erase(0, summary.size());
  EXPECT_EQ(before, "");
  EXPECT_EQ(monitor.Received().substr(monitor.Received().find(accepted)), accepted);
  monitor.ClearReceived();
  wait_for(cluster, 42);

  cluster.Send("3" + e + "2" + e + "login: " + t);
  EXPECT_EQ(wait_for(user, 7), "login: ");
  const std::string prompt = "^ZQ64^\r\n\r\nlogin: " + t + "^ZQ70^2^login: \r\n" + t;
  EXPECT_EQ(wait_for(monitor, prompt.size()), prompt);

  user.Send("g1abc\r\n");
  EXPECT_EQ(wait_for(cluster, 12), "AA03^2^g1abc" + e);
  const std::string typed = "^ZQ60^2^6^g1abc" + t + "^ZQ60^2^7^65280" + t;
  EXPECT_EQ(wait_for(monitor, typed.size()), typed);

  cluster.Send("6" + e + "2" + t);
  const std::string confirmed = "^ZQ60^2^0^127.0.0.7^65280^" + port + "^65280^g1abc^65280^0^" + t;
  EXPECT_EQ(wait_for(monitor, confirmed.size()), confirmed);

  user.Send("sh/dx\r\n");
  EXPECT_EQ(wait_for(cluster, 15), "AA00^2^sh/dx\r\n" + e);
  const std::string input = "^ZQ63^sh/dx\r\n" + t;
  EXPECT_EQ(wait_for(monitor, input.size()), input);
  velgated.Type("quit");
  EXPECT_EQ(velgated.WaitForExit(), 0);
}

TEST(VelgatedCommandLine, VersionHelpAndUnknownArguments) {
  VelgatedProcess version({"--version"});
  EXPECT_EQ(version.WaitForExit(), 0);
  VelgatedProcess wrong({"--frobnicate"});
  EXPECT_EQ(wrong.WaitForExit(), 2);
  EXPECT_NE(wrong.Errors().find("usage: velgated"), std::string::npos);
}

}  // namespace
}  // namespace velgate::testing
