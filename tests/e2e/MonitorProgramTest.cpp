// The built velgate-monitor against the built velgated: its line mode through a login, traffic,
// a hang-up and a gateway restart, and its screen in a terminal (tmux, headless).

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "ChildProcess.h"
#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class MonitorProgram : public GatewayFixture {
 protected:
  void StartGateway() {
    gateway_process.reset();
    gateway_process.emplace(std::vector<std::string>{"--dir", folder.Path()}, VELGATED_PATH);
    ASSERT_TRUE(gateway_process->WaitUntil([&] {
      return gateway_process->WrittenOn(STDERR_FILENO).find("status: Listening for cluster on ") !=
             std::string::npos;
    }));
    cluster_peer = std::make_unique<TestPeer>(cluster_port);
    cluster_peer->Send("7261");
    ASSERT_TRUE(gateway_process->WaitUntil([&] {
      return cluster_peer->Pump(), cluster_peer->Received().find("AA18^") != std::string::npos;
    }));
  }
  // A user on stream 2 from 127.0.0.7, logged in as call.
  Peer LogIn(const std::string& call) {
    auto user = std::make_unique<TestPeer>(user_port, "127.0.0.7");
    EXPECT_TRUE(ClusterHeard("AA03^Connect Request^2^"));
    user->Send(call + "\r\n");
    EXPECT_TRUE(ClusterHeard("AA03^2^" + call));
    cluster_peer->Send(Down({"6", "2"}));
    return user;
  }
  bool ClusterHeard(const std::string& text) {
    return gateway_process->WaitUntil([&] {
      return cluster_peer->Pump(), cluster_peer->Received().find(text) != std::string::npos;
    });
  }
  bool Printed(Process& monitor, const std::string& text) {
    return monitor.WaitUntil(
        [&] { return monitor.WrittenOn(STDOUT_FILENO).find(text) != std::string::npos; });
  }

  void SetUp() override { folder.Write("Velgate.cfg", StandardConfig()); }
  std::optional<Process> gateway_process;
  Peer cluster_peer;
};

TEST_F(MonitorProgram, LineModeTellsLoginsTrafficHangUpsAndARestart) {
  EXPECT_EQ(Process({"--port", "0"}, VELGATE_MONITOR_PATH).WaitForExit(), 2);
  EXPECT_EQ(Process({}, VELGATE_MONITOR_PATH).WaitForExit(), 2) << "no terminal, no --lines";
  StartGateway();
  Process monitor({"--lines", "--port", N(monitor_port), "--follow", "new"}, VELGATE_MONITOR_PATH);
  ASSERT_TRUE(Printed(monitor, "summary listener 1 port " + N(user_port)))
      << monitor.WrittenOn(STDOUT_FILENO) << monitor.WrittenOn(STDERR_FILENO);
  EXPECT_NE(monitor.WrittenOn(STDOUT_FILENO).find(" link connected 127.0.0.1:" + N(monitor_port)),
            std::string::npos);

  Peer user = LogIn("G1ABC");
  EXPECT_TRUE(Printed(monitor, "row 2 logged in call=G1ABC address=127.0.0.7 port="));
  user->Send("sh/dx\r\n");
  EXPECT_TRUE(ClusterHeard("AA00^2^sh/dx"));
  cluster_peer->Send(Down({"0", "2", "DX de K1TTT: 14025.0 G1ABC\r\n"}));
  EXPECT_TRUE(Printed(monitor, " in 2 sh/dx\n"));
  EXPECT_TRUE(Printed(monitor, " out 2 DX de K1TTT: 14025.0 G1ABC\n"));
  user->Close();
  EXPECT_TRUE(Printed(monitor, "row 2 ended call=G1ABC"));

  gateway_process->Signal(SIGTERM);
  EXPECT_EQ(gateway_process->WaitForExit(), 0);
  EXPECT_TRUE(Printed(monitor, "link reconnecting in 1 s (the gateway closed the connection)"));
  StartGateway();
  const std::size_t before = monitor.WrittenOn(STDOUT_FILENO).size();
  EXPECT_TRUE(monitor.WaitUntil([&] {
    return monitor.WrittenOn(STDOUT_FILENO).find("link connected", before) != std::string::npos;
  }));
  EXPECT_EQ(monitor.WrittenOn(STDOUT_FILENO).find("bad message"), std::string::npos);
  monitor.Signal(SIGTERM);
  EXPECT_EQ(monitor.WaitForExit(), 0);
}

// tmux with a server of its own in the test's folder.
class Tmux {
 public:
  explicit Tmux(const std::string& folder) : prefix_("TMUX_TMPDIR=" + folder + " tmux -L test ") {}
  ~Tmux() { Run("kill-server 2>/dev/null"); }
  int Run(const std::string& command) const { return std::system((prefix_ + command).c_str()); }
  // The pane's text as the terminal shows it.
  std::string Screen(const std::string& folder) const {
    Run("capture-pane -p -t m > " + folder + "/screen.txt");
    std::ifstream file(folder + "/screen.txt");
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

 private:
  std::string prefix_;
};

TEST_F(MonitorProgram, TheScreenInATerminalShowsTheUserAndEndsOnQ) {
  if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  StartGateway();
  Peer user = LogIn("G1ABC");
  ASSERT_TRUE(ClusterHeard("AA03^2^G1ABC"));
  Tmux tmux(folder.Path());
  ASSERT_EQ(tmux.Run("-f /dev/null new-session -d -s m -x 80 -y 24 '" +
                     std::string(VELGATE_MONITOR_PATH) + " --port " + N(monitor_port) + "'"),
            0);
  std::string screen;
  const auto shows = [&](const std::string& text) {
    return gateway_process->WaitUntil([&] {
      screen = tmux.Screen(folder.Path());
      return screen.find(text) != std::string::npos;
    });
  };
  ASSERT_TRUE(shows("G1ABC")) << screen;
  EXPECT_TRUE(shows("logged in")) << screen;
  EXPECT_NE(screen.find("logged in 1   connected 127.0.0.1:" + N(monitor_port)), std::string::npos)
      << screen;
  EXPECT_NE(screen.find("127.0.0.7"), std::string::npos) << screen;
  EXPECT_NE(screen.find("q quit"), std::string::npos) << screen;
  tmux.Run("send-keys -t m '?'");
  EXPECT_TRUE(shows("velgate-monitor: the keys")) << screen;
  tmux.Run("send-keys -t m q q");
  EXPECT_TRUE(gateway_process->WaitUntil([&] {
    return tmux.Run("has-session -t m 2>/dev/null") != 0;
  })) << "q ends the program";
}

}  // namespace
}  // namespace velgate::testing
