// The built velgated in a folder of its own: command line, listeners, operator lines, ways out.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <system_error>

#include "ChildProcess.h"
#include "GatewayFixture.h"
#include "base/Version.h"

namespace velgate::testing {
namespace {

// A service manager's notification socket: the datagrams a program sends to NOTIFY_SOCKET.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : path_(path) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
  }
  ~NotifySocket() { ::close(fd_), ::unlink(path_.c_str()); }
  const std::string& Path() const { return path_; }
  // Every datagram received so far, one a line.
  const std::string& Heard() {
    char buffer[4096];
    for (ssize_t got; (got = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;)
      heard_.append(buffer, static_cast<std::size_t>(got)) += '\n';
    return heard_;
  }

 private:
  std::string path_;
  int fd_ = -1;
  std::string heard_;
};

class Velgated : public GatewayFixture {
 protected:
  Process& Run(const std::vector<std::string>& arguments, const char* program = VELGATED_PATH,
               uid_t as_user = 0) {
    return velgated.emplace(arguments, program, as_user);
  }
  // Up once the cluster listener's status line shows (a probe of it would be taken as the cluster).
  bool Started() { return Said("status: Listening for cluster on ") && PortAnswers(user_port); }
  bool Said(const std::string& text) {
    return velgated->WaitUntil(
        [&] { return velgated->WrittenOn(STDERR_FILENO).find(text) != std::string::npos; });
  }
  // Waits until the peer has received as many bytes as expected (or was closed), then compares.
  void Expect(TestPeer& peer, const std::string& bytes) {
    velgated->WaitUntil(
        [&] { return peer.Pump(), peer.Received().size() >= bytes.size() || peer.Closed(); });
    EXPECT_EQ(peer.Received(), bytes);
    peer.ClearReceived();
  }

  // The cluster, a monitor client and a user, served in both programs alike. Connection 1 was
  // the probe that found the user port answering.
  Peer ServeClusterMonitorAndUser(TestPeer& cluster, TestPeer& monitor) {
    cluster.Send("7261");
    Expect(cluster, "AA01^2^6" + ETX + "AA18^" + ETX);
    // The drain has to have seen the monitor client before anything is queued for it.
    EXPECT_TRUE(velgated->WaitUntil([&] {
      monitor.Send("M*^");
      monitor.Pump();
      return monitor.Received().find("^ZQ81^ 1^65280^" + N(user_port)) != std::string::npos;
    }));
    auto user = std::make_unique<TestPeer>(user_port, "127.0.0.7");
    Expect(cluster, "AA02^2^6" + ETX + "AA03^Connect Request^2^3^127.0.0.7^1^2" + ETX);
    user->Send("g1abc\r\n");
    Expect(cluster, "AA03^2^g1abc" + ETX);
    cluster.Send(Down({"6", "2"}) + Down({"0", "2", "DX de K1TTT\r\n", "2"}));
    Expect(*user, "DX de K1TTT\r\n");
    user->Send("sh/dx\r");
    Expect(cluster, "AA00^2^sh/dx\r\n" + ETX);
    // The monitor client watches the new stream: it gets a copy of the user's line.
    EXPECT_TRUE(velgated->WaitUntil([&] {
      return monitor.Pump(), monitor.Received().find("^ZQ63^sh/dx\r\n" + EOT) != std::string::npos;
    }));
    return user;
  }

  std::optional<Process> velgated;
};

TEST_F(Velgated, CommandLineAndQuitWritingTheSettingsIntoTheFolderGiven) {
  EXPECT_EQ(Run({"--version"}).WaitForExit(), 0);
  EXPECT_EQ(velgated->WrittenOn(STDOUT_FILENO), kVersion + std::string("\n"));
  EXPECT_EQ(Run({"--help"}).WaitForExit(), 0);
  EXPECT_EQ(velgated->WrittenOn(STDOUT_FILENO)
                .rfind("usage: velgated [--dir DIR] [--quiet] [--control PATH]\n", 0),
            0u);
  for (const char* wrong : {"--frobnicate", "-x", "stray", "--dir"}) {
    EXPECT_EQ(Run({wrong}).WaitForExit(), 2) << wrong;
    EXPECT_NE(velgated->WrittenOn(STDERR_FILENO).find("usage: velgated"), std::string::npos)
        << wrong;
  }
  folder.Write("Velgate.cfg", StandardConfig());
  for (const auto& arguments :
       {std::vector<std::string>{"--dir", folder.Path()}, {"--dir=" + folder.Path()}}) {
    Run(arguments);
    ASSERT_TRUE(Started()) << arguments[0] << velgated->WrittenOn(STDERR_FILENO);
    folder.Write("Velgate.cfg", folder.Read("Velgate.cfg").value() + "\"Unknown\",1\r\n");
    velgated->Type("quit");
    EXPECT_EQ(velgated->WaitForExit(), 0);
    EXPECT_EQ(folder.Read("Velgate.cfg").value().find("Unknown"), std::string::npos);
  }
}

TEST_F(Velgated, FirstStartWithoutSettingsUsesTheDefaultPortsAndWritesNoUserPortRecord) {
  for (int port : {7373, 9003, 15555})
    if (PortAnswers(port)) GTEST_SKIP() << "port " << port << " is taken on this machine";
  Run({"--dir", folder.Path()});
  ASSERT_TRUE(velgated->WaitUntil([&] {
    return PortAnswers(7373) && PortAnswers(9003) && PortAnswers(15555);
  })) << velgated->WrittenOn(STDERR_FILENO);
  EXPECT_EQ(folder.Read("Velgate.cfg").value().find("UserPort"), std::string::npos);
  velgated->Type("quit");
  EXPECT_EQ(velgated->WaitForExit(), 0);
}

TEST_F(Velgated, ServesTheClusterAUserAndAMonitorClientAndEndsOnSigtermWithoutWriting) {
  folder.Write("Velgate.cfg", StandardConfig());
  Run({"--dir", folder.Path()});
  ASSERT_TRUE(Started()) << velgated->WrittenOn(STDERR_FILENO);
  EXPECT_TRUE(Said("open files: limit "));
  TestPeer cluster(cluster_port);
  TestPeer monitor(monitor_port);
  Peer user = ServeClusterMonitorAndUser(cluster, monitor);
  velgated->Type("send 2 G0ABC");
  Expect(cluster, "AA00^2^G0ABC\r\n" + ETX);
  velgated->Type("send 1 listener");
  EXPECT_TRUE(Said("send: the stream must be a number from 2 to 6"));
  velgated->Type("disc");
  ASSERT_TRUE(velgated->WaitUntil([&] { return cluster.Pump(), cluster.Closed(); }));

  // The end of its input is no shutdown; SIGTERM is, and writes nothing.
  const std::string edited = folder.Read("Velgate.cfg").value() + "\"Unknown\",2\r\n";
  folder.Write("Velgate.cfg", edited);
  velgated->CloseInput();
  TestPeer again(cluster_port);
  again.Send("7261");
  // The user is still there: the new link hears of it in the resync.
  Expect(again, "AA01^2^6" + ETX + "AA38^g1abc^2^2^127.0.0.7^green^^1^2" + ETX + "AA18^" + ETX);
  velgated->Signal(SIGTERM);
  EXPECT_EQ(velgated->WaitForExit(), 0);
  EXPECT_EQ(folder.Read("Velgate.cfg"), edited);
}

TEST_F(Velgated, IsOperatedWithVelgatectlAndReloadsOnSighupKeepingItsUser) {
  folder.Write("Velgate.cfg", StandardConfig());
  Run({"--dir", folder.Path()});
  ASSERT_TRUE(Started()) << velgated->WrittenOn(STDERR_FILENO);
  TestPeer cluster(cluster_port);
  cluster.Send("7261");
  Expect(cluster, "AA01^2^6" + ETX + "AA18^" + ETX);
  TestPeer user(user_port, "127.0.0.7");
  Expect(cluster, "AA02^2^6" + ETX + "AA03^Connect Request^2^3^127.0.0.7^1^2" + ETX);
  const auto control = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--dir", folder.Path()});
    Process tool(arguments, VELGATECTL_PATH);
    const std::optional<int> status = tool.WaitForExit();
    return std::make_tuple(status.value_or(-1), tool.WrittenOn(STDOUT_FILENO),
                           tool.WrittenOn(STDERR_FILENO));
  };
  const auto [status, status_text, status_error] = control({"status"});
  EXPECT_EQ(status, 0) << status_error;
  EXPECT_TRUE(status_text.starts_with("version: " + std::string(kVersion) + "\n")) << status_text;
  EXPECT_NE(status_text.find("\ncluster: online from 127.0.0.1 since "), std::string::npos);
  const auto [listed, streams, streams_error] =
      control({"--json", "streams", "--address", "127.0.0.7"});
  EXPECT_EQ(listed, 0) << streams_error;
  EXPECT_TRUE(
      streams.starts_with("{\"ok\":true,\"streams\":[{\"stream\":2,\"state\":\"announced\""))
      << streams;
  EXPECT_EQ(std::get<0>(control({"kick", "6"})), 1);

  // SIGHUP reads the settings again with 50 users on: every one of them stays.
  std::vector<Peer> users;
  for (int i = 0; i < 49; ++i)
    users.push_back(std::make_unique<TestPeer>(user_port, "127.0.0." + N(10 + i / 9)));
  EXPECT_TRUE(velgated->WaitUntil([&] {
    return std::get<1>(control({"status"})).find("50 streams connected") != std::string::npos;
  }));
  folder.Write("Velgate.cfg", StandardConfig({"\"Locked Out\",\"127.0.0.9\""}));
  velgated->Signal(SIGHUP);
  EXPECT_TRUE(Said("<6>settings reloaded changed=LockOuts restart=- skipped=0 closed=-"));
  user.Send("g1abc\r\n");
  EXPECT_TRUE(velgated->WaitUntil([&] {
    return cluster.Pump(), cluster.Received().find("AA03^2^g1abc" + ETX) != std::string::npos;
  }));
  for (Peer& caller : users) EXPECT_FALSE((caller->Pump(), caller->Closed()));
  EXPECT_NE(std::get<1>(control({"status"})).find("50 streams connected"), std::string::npos);
  EXPECT_EQ(std::get<1>(control({"lockout", "list"})), "\"127.0.0.9\"\n");

  const auto [unreachable, nothing, why] = control({"--control", folder.File("none"), "status"});
  EXPECT_EQ(unreachable, 2);
  EXPECT_EQ(nothing, "");
  EXPECT_EQ(why, "velgatectl: cannot reach the gateway at " + folder.File("none") +
                     ": No such file or directory\n");
  velgated->Signal(SIGTERM);
  EXPECT_EQ(velgated->WaitForExit(), 0);
  EXPECT_FALSE(folder.Exists("velgated.sock"));
}

TEST_F(Velgated, ASecondGatewayOnTheSameFolderTouchesNothingAndEnds) {
  folder.Write("Velgate.cfg", StandardConfig());
  Run({"--dir", folder.Path()});
  ASSERT_TRUE(Started()) << velgated->WrittenOn(STDERR_FILENO);
  const std::string settings = folder.Read("Velgate.cfg").value();
  folder.Write("ip1.log", "kept");
  Process second({"--dir", folder.Path()}, VELGATED_PATH);
  EXPECT_EQ(second.WaitForExit(), 1);
  EXPECT_EQ(
      second.WrittenOn(STDERR_FILENO),
      "velgated: another velgated is running in " + folder.Path() + " (pid " +
          folder.Read("velgated.lock").value().substr(0, folder.Read("velgated.lock")->find(' ')) +
          ")\n");
  EXPECT_EQ(folder.Read("Velgate.cfg"), settings);
  EXPECT_EQ(folder.Read("ip1.log"), "kept");
  // The lock goes with the process: the next gateway starts.
  velgated->Signal(SIGKILL);
  velgated->WaitForExit();
  Run({"--dir", folder.Path()});
  EXPECT_TRUE(Started()) << velgated->WrittenOn(STDERR_FILENO);
}

TEST_F(Velgated, InAFolderItMayNotWriteItSaysWhatIsNotSavedAndQuitEndsWithStatus1) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can start the gateway as another user";
  constexpr uid_t kNobody = 65534;
  const pid_t probe = ::fork();
  if (probe == 0)
    ::_exit(::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && ::access(VELGATED_PATH, X_OK) == 0
                ? 0
                : 1);
  int probed = 1;
  ::waitpid(probe, &probed, 0);
  if (probed != 0) GTEST_SKIP() << "user " << kNobody << " cannot reach " << VELGATED_PATH;
  folder.Write("Velgate.cfg", StandardConfig());
  ::chmod(folder.Path().c_str(), 0755);  // root's folder: the gateway may read, never write
  TempFolder manager_folder;
  ::chmod(manager_folder.Path().c_str(), 0777);
  NotifySocket manager(manager_folder.File("notify"));
  ::chmod(manager.Path().c_str(), 0666);
  ::setenv("NOTIFY_SOCKET", manager.Path().c_str(), 1);
  Run({"--dir", folder.Path()}, VELGATED_PATH, kNobody);
  ::unsetenv("NOTIFY_SOCKET");
  ASSERT_TRUE(Started()) << velgated->WrittenOn(STDERR_FILENO);
  // The rewrite at start fails, and so does the highwater rise past the logged-in user.
  EXPECT_TRUE(Said("<3>save-failed file=\"Velgate.cfg\" error=\""));
  TestPeer cluster(cluster_port);
  cluster.Send("7261");
  Expect(cluster, "AA01^2^6" + ETX + "AA18^" + ETX);
  TestPeer user(user_port, "127.0.0.7");
  Expect(cluster, "AA02^2^6" + ETX + "AA03^Connect Request^2^3^127.0.0.7^1^2" + ETX);
  user.Send("g1abc\r\n");
  Expect(cluster, "AA03^2^g1abc" + ETX);
  cluster.Send(Down({"6", "2"}));
  ASSERT_TRUE(velgated->WaitUntil([&] {
    return manager.Heard().find("STATUS=1 user logged in") != std::string::npos;
  })) << manager.Heard();
  TestPeer second(user_port, "127.0.0.8");
  EXPECT_TRUE(Said("<3>save-failed file=\"highwater.dat\" error=\""));
  EXPECT_TRUE(velgated->WaitUntil([&] {
    return manager.Heard().find("; not saved: Velgate.cfg (") != std::string::npos;
  })) << manager.Heard();
  velgated->Type("quit");
  EXPECT_EQ(velgated->WaitForExit(), 1);
  const std::string& written = velgated->WrittenOn(STDERR_FILENO);
  EXPECT_NE(written.find("\nvelgated: not saved: Velgate.cfg ("), std::string::npos) << written;
  EXPECT_NE(written.find("highwater.dat ("), std::string::npos) << written;
  EXPECT_EQ(folder.Read("Velgate.cfg"), StandardConfig());
  EXPECT_FALSE(folder.Read("error.log"));
  EXPECT_FALSE(folder.Read("highwater.dat"));
}

TEST_F(Velgated, LogsEachEventWithItsPriorityQuietOrNotAndTellsTheServiceManager) {
  folder.Write("Velgate.cfg", StandardConfig({"\"Locked Out\",\"127.0.2.\""}));
  const std::string starting =
      "<6>starting version=" + std::string(kVersion) + " dir=\"" + folder.Path() + "\" open_files=";
  const std::string refused = "<4>refused ip=127.0.2.7 port=" + N(user_port) + " reason=locked-out";
  const std::vector<std::string> info_lines = {
      "<6>listening port=" + N(monitor_port) + " for=monitor",
      "<6>listening port=" + N(user_port) + " for=users",
      "<6>listening port=" + N(cluster_port) + " for=cluster",
      "<6>cluster connected ip=127.0.0.1",
      "<6>cluster online streams=0",
      "<6>stopping signal=SIGTERM"};
  // A line of the operational log: priority, message, then key=value fields.
  const std::regex form(R"(<[346]>[a-z-]+( [a-z-]+)?( [a-z_]+=("([^"\\]|\\.)*"|[^ "=]+))*)");
  for (const bool quiet : {false, true}) {
    NotifySocket manager(folder.File("notify"));
    ::setenv("NOTIFY_SOCKET", manager.Path().c_str(), 1);
    Run(quiet ? std::vector<std::string>{"--dir", folder.Path(), "--quiet"}
              : std::vector<std::string>{"--dir", folder.Path()});
    ::unsetenv("NOTIFY_SOCKET");
    ASSERT_TRUE(velgated->WaitUntil([&] { return manager.Heard().starts_with("READY=1\n"); }))
        << manager.Heard() << velgated->WrittenOn(STDERR_FILENO);
    TestPeer cluster(cluster_port);
    cluster.Send("7261");
    Expect(cluster, "AA01^2^6" + ETX + "AA18^" + ETX);
    TestPeer locked_out(user_port, "127.0.2.7");
    ASSERT_TRUE(Said(refused + "\n"));
    velgated->Signal(SIGTERM);
    EXPECT_EQ(velgated->WaitForExit(), 0);
    EXPECT_EQ(manager.Heard(), "READY=1\nSTATUS=0 users logged in\nSTOPPING=1\n");

    std::istringstream written(velgated->WrittenOn(STDERR_FILENO));
    std::vector<std::string> log_lines;
    for (std::string line; std::getline(written, line);) {
      EXPECT_TRUE(std::regex_match(line, std::regex("<[346]>.+"))) << line;
      // Console lines ("<6>status: ...") have their own form.
      if (line.find(": ") == std::string::npos) log_lines.push_back(line);
    }
    for (const std::string& line : log_lines) EXPECT_TRUE(std::regex_match(line, form)) << line;
    EXPECT_EQ(log_lines.empty() ? "" : log_lines[0].substr(0, starting.size()),
              quiet ? refused.substr(0, starting.size()) : starting);
    EXPECT_NE(std::find(log_lines.begin(), log_lines.end(), refused), log_lines.end());
    for (const std::string& line : info_lines) {
      EXPECT_EQ(std::find(log_lines.begin(), log_lines.end(), line) != log_lines.end(), !quiet)
          << line;
    }
  }
}

TEST_F(Velgated, ALogReaderThatStopsCostsLinesNeverTheServiceToUsers) {
  // Standard error is a pipe nobody reads while 2,000 locked-out callers come and go: far more
  // lines than the pipe holds. A new user is still served at once; the lines that could not go
  // out are counted in the log once it is read again.
  folder.Write("Velgate.cfg", StandardConfig({"\"Locked Out\",\"127.9.\""}));
  Run({"--dir", folder.Path()});
  ASSERT_TRUE(Started()) << velgated->WrittenOn(STDERR_FILENO);
  TestPeer cluster(cluster_port);
  cluster.Send("7261");
  Expect(cluster, "AA01^2^6" + ETX + "AA18^" + ETX);
  for (int caller = 0; caller < 2000; ++caller) {
    TestPeer locked_out(user_port, "127.9." + N(caller / 200) + "." + N(1 + caller % 200));
    locked_out.Send("\r\n");  // a caller that hangs up without a byte never reaches the test
  }
  TestPeer user(user_port, "127.0.0.7");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (cluster.Received().find("^127.0.0.7^") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline)
    cluster.Pump();
  EXPECT_NE(cluster.Received().find("AA03^Connect Request^"), std::string::npos)
      << cluster.Received().size();
  velgated->WrittenOn(STDERR_FILENO);
  velgated->Signal(SIGTERM);
  EXPECT_EQ(velgated->WaitForExit(), 0);
  EXPECT_TRUE(Said("<4>log left-out lines="));
}

#ifdef VELGATE_PATH
TEST_F(Velgated, TheDesktopProgramServesAlikeOffscreenAndEndsOnSigtermWithoutWriting) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  EXPECT_EQ(Run({"--version"}, VELGATE_PATH).WaitForExit(), 0);
  EXPECT_EQ(velgated->WrittenOn(STDOUT_FILENO), kVersion + std::string("\n"));
  folder.Write("Velgate.cfg", StandardConfig());
  Run({"--dir", folder.Path()}, VELGATE_PATH);
  // The cluster port opens after the user ports: a cluster that came sooner would find no one.
  ASSERT_TRUE(Said("<6>listening port=" + N(cluster_port) + " for=cluster\n") &&
              PortAnswers(user_port))
      << velgated->WrittenOn(STDERR_FILENO);
  TestPeer cluster(cluster_port);
  TestPeer monitor(monitor_port);
  Peer user = ServeClusterMonitorAndUser(cluster, monitor);
  // The same operational log on its standard error.
  EXPECT_TRUE(Said("<6>user logged-in stream=2 call=g1abc ip=127.0.0.7 port=" + N(user_port)));
  const std::string written = folder.Read("Velgate.cfg").value() + "\"Unknown\",2\r\n";
  folder.Write("Velgate.cfg", written);
  velgated->Signal(SIGTERM);
  EXPECT_EQ(velgated->WaitForExit(), 0);
  EXPECT_TRUE(Said("<6>stopping signal=SIGTERM\n"));
  EXPECT_EQ(folder.Read("Velgate.cfg"), written);
}
#endif

}  // namespace
}  // namespace velgate::testing
