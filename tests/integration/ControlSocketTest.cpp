// The control socket: a real gateway, real loopback users and cluster server, and clients on a
// real local socket, in virtual time.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ControlFixture.h"

namespace velgate::testing {
namespace {

class ControlSocket : public ControlFixture {};

TEST_F(ControlSocket, StatusAndStreamsTellEveryStreamInItsStateInTextAndJson) {
  StartOnline({"\"Locked Out\",\"127.0.0.9\""});
  OpenControl();
  Peer logged_in = ConnectUser("127.0.0.2");
  const int s_logged = LastStream();
  SendsLogin(*logged_in, s_logged, "G0ABC");
  ClusterSends(Down({"4", N(s_logged), "G0ABC"}));
  ASSERT_TRUE(WaitState(s_logged, StreamState::kLoggedIn));
  Peer waiting = ConnectUser("127.0.0.3");
  Peer sent_login = ConnectUser("127.0.0.4");
  const int s_sent = LastStream();
  sent_login->Send("M0XYZ\r\n");
  ASSERT_TRUE(WaitState(s_sent, StreamState::kLoginSent));
  Peer refused = ConnectUser("127.0.0.9");
  loop.AdvanceMs(65000);
  logged_in->Send("sh/dx\r\n");
  Settle();

  const std::string streams = Ask("streams");
  for (const char* row : {"2      logged-in  1       127.0.0.2       G0ABC      ",
                          "3      announced  2       127.0.0.3       -          ",
                          "4      login-sent 3       127.0.0.4       M0XYZ      ",
                          "5      refused    4       127.0.0.9       IP_Locked_Out "}) {
    EXPECT_TRUE(Has(streams, std::string("\n") + row + N(user_port))) << row << "\n" << streams;
  }
  EXPECT_TRUE(Has(streams, "2026-12-04 12:00:00Z")) << streams;
  EXPECT_TRUE(streams.ends_with("ok\n"));
  EXPECT_EQ(std::ranges::count(Ask("streams --call g0a"), '\n'), 3);
  EXPECT_EQ(std::ranges::count(Ask("streams --address=127.0.0.4"), '\n'), 3);
  EXPECT_EQ(Ask("streams --colour red"), "error: streams takes --call CALL and --address PREFIX\n");

  const std::string json = Ask("json streams --call G0ABC");
  EXPECT_EQ(json.rfind("{\"ok\":true,\"streams\":[{\"stream\":2,\"state\":\"logged-in\",", 0), 0u)
      << json;
  EXPECT_TRUE(Has(json, "\"address\":\"127.0.0.2\",\"call\":\"G0ABC\",\"listener\":\"" +
                            N(user_port) + "\",\"connected\":\"2026-12-04T12:00:00Z\""))
      << json;
  EXPECT_TRUE(Has(json, "\"idle_s\":0,\"bytes_in\":14,")) << json;

  const std::string status = Ask("status");
  for (const std::string& line :
       Texts{"\nstarted: 2026-12-04 12:00:00Z (up 0d 00:01:05)\n",
             "\ncluster: online from 127.0.0.1 since 2026-12-04 12:00:00Z (0d 00:01:05)\n",
             "\nusers: 1 logged in, 4 streams connected\n",
             "\nport " + N(user_port) + ": users, listening, watchdog ",
             "\nport " + N(cluster_port) + ": cluster, not listening\n",
             "\nport " + N(monitor_port) + ": monitor, listening\n", "\nmonitor client: none\n"}) {
    EXPECT_TRUE(Has(status, line)) << line << "\n" << status;
  }
  const std::string json_status = Ask("json status");
  EXPECT_TRUE(Has(json_status,
                  "\"cluster\":{\"state\":\"online\",\"address\":\"127.0.0.1\","
                  "\"online_since\":\"2026-12-04T12:00:00Z\",\"lines_lost\":0}"))
      << json_status;
  EXPECT_EQ(Ask("frobnicate"),
            "error: unknown command \"frobnicate\" (status, streams, send, kick, disc-cluster, "
            "lockout, reload, quit, help)\n");
  EXPECT_EQ(Ask("json kick"),
            "{\"ok\":false,\"error\":\"kick takes one stream number (kick STREAM)\"}\n");
}

TEST_F(ControlSocket, SendKickAndDiscClusterReachTheClusterByteForByte) {
  StartOnline();
  OpenControl();
  Peer user = LoggedInUser("G0ABC", "127.0.0.2");
  const int s = LastStream();
  const std::int32_t id = Table().At(s).connection;

  EXPECT_EQ(Ask("send " + N(s) + " talk  G4XYZ ^ hi"),
            "sent to the cluster as a line of stream " + N(s) + "\nok\n");
  EXPECT_TRUE(ClusterGets(Up({"AA00", N(s), "talk  G4XYZ ^ hi\r\n"})));
  EXPECT_EQ(Ask("send 99999 x"), "error: the stream must be a number from 2 to " +
                                     N(Table().StreamMax()) + " (send STREAM TEXT)\n");

  EXPECT_EQ(Ask("kick " + N(s)), "stream " + N(s) + " (G0ABC) ended\nok\n");
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G0ABC", N(s), N(id)})));
  EXPECT_TRUE(WaitClosed(*user));
  const std::string uid = N(static_cast<int>(::geteuid()));
  EXPECT_EQ(
      LogLines({"<6>user ended", "<6>control command"}),
      (Texts{"<6>control command=\"send " + N(s) + " talk  G4XYZ ^ hi\" uid=" + uid + " result=ok",
             "<6>user ended stream=" + N(s) + " call=G0ABC how=operator",
             "<6>control command=\"kick " + N(s) + "\" uid=" + uid + " result=ok"}));
  EXPECT_EQ(Ask("kick " + N(s)), "error: stream " + N(s) + " is not connected\n");

  EXPECT_EQ(Ask("disc-cluster"),
            "the cluster server was disconnected; the cluster port listens again\nok\n");
  EXPECT_TRUE(WaitClosed(*cluster));
  EXPECT_EQ(LogLines({"<4>cluster dropped", "<6>control command"}),
            (Texts{"<6>control command=\"kick " + N(s) + "\" uid=" + uid + " result=error",
                   "<4>cluster dropped reason=operator",
                   "<6>control command=\"disc-cluster\" uid=" + uid + " result=ok"}));
  EXPECT_EQ(Ask("send " + N(s) + " hello"), "error: the cluster is not online: nothing was sent\n");
}

TEST_F(ControlSocket, LockOutsFollowTheEditorsRulesAndAreWrittenAtOnce) {
  StartOnline({"\"Locked Out\",\"192.0.2.7\"", "\"Locked Out\",\"10.0.0.1\""});
  OpenControl();
  Peer user = ConnectUser("127.0.0.5");
  ClusterGot();

  EXPECT_EQ(Ask("lockout add 127.0.0."),
            "127.0.0. added to the lock-out list; 1 connected stream matches and stays connected "
            "(kick ends it)\nok\n");
  EXPECT_EQ(Ask("lockout list"), "\"10.0.0.1\"\n\"127.0.0.\"\n\"192.0.2.7\"\nok\n");
  EXPECT_TRUE(Has(folder.Read("Velgate.cfg").value_or(""),
                  "\"Locked Out\",\"10.0.0.1\"\r\n\"Locked Out\",\"127.0.0.\"\r\n"));
  EXPECT_TRUE(StillConnected(*user));
  // The next caller from that prefix is refused: the cluster never hears of it (no AA03).
  Peer locked = ConnectUser("127.0.0.6");
  EXPECT_EQ(ClusterGot(), Up({"AA02", "2", N(Table().StreamMax())}));
  EXPECT_EQ(LogLines({"<4>refused"}),
            Texts{"<4>refused ip=127.0.0.6 port=" + N(user_port) + " reason=locked-out"});

  EXPECT_EQ(Ask("lockout add 127.0.0."),
            "127.0.0. is already in the lock-out list: nothing changed\nok\n");
  EXPECT_EQ(Ask("lockout add"),
            "error: a lock-out needs a prefix (an empty one refuses everyone)\n");
  EXPECT_EQ(Ask("lockout del 127.0.0.9"), "error: 127.0.0.9 is not in the lock-out list\n");
  EXPECT_EQ(Ask("lockout del 127.0.0."), "127.0.0. removed from the lock-out list\nok\n");
  EXPECT_EQ(Ask("json lockout list"), "{\"ok\":true,\"lock_outs\":[\"10.0.0.1\",\"192.0.2.7\"]}\n");
  EXPECT_FALSE(Has(folder.Read("Velgate.cfg").value_or(""), "127.0.0."));
  Peer admitted = ConnectUser("127.0.0.6");
  EXPECT_TRUE(Has(ClusterGot(), "Connect Request"));
}

TEST_F(ControlSocket, QuitAnswersThenWritesTheSettingsAndEnds) {
  StartOnline();
  OpenControl();
  folder.Write("Velgate.cfg", "");
  EXPECT_EQ(Ask("quit"), "the gateway writes its settings and ends\nok\n");
  EXPECT_TRUE(loop.RunUntil([&] { return shut_down; }));
  EXPECT_TRUE(Has(folder.Read("Velgate.cfg").value_or(""), "\"ClusterPort\"," + N(cluster_port)));
}

TEST_F(ControlSocket, OnlyRootAndTheGatewaysOwnUserOrGroupAreServed) {
  StartOffline();
  OpenControl();
  if (::geteuid() != 0) GTEST_SKIP() << "a second user needs root to be played";
  // Open to everyone on the file system: only the credential check stands in the way.
  ::chmod(folder.Path().c_str(), 0755);
  ::chmod(SocketPath().c_str(), 0666);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    auto client = TestPeer::Local(SocketPath());
    if (!client->Connected()) ::_exit(4);
    client->Send("status\n");
    for (int i = 0; i < 500 && !client->Closed(); ++i) {
      client->Pump();
      ::usleep(10000);
    }
    ::_exit(client->Closed() && client->Received().empty() ? 0 : 1);
  }
  int status = -1;
  loop.RunUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; },
                std::chrono::seconds(10));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  const Texts refused = LogLines({"<4>control refused"});
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_TRUE(refused[0].starts_with("<4>control refused uid=65534 pid=")) << refused[0];
  EXPECT_TRUE(refused[0].ends_with(" reason=credentials"));
}

TEST_F(ControlSocket, NoClientCanHoldTheGatewayUp) {
  StartOnline();
  OpenControl();
  Peer user = LoggedInUser("G0ABC", "127.0.0.2");
  const int s = LastStream();

  // A client that never reads its replies: the relay goes on, the others are served, and it
  // is closed once nothing has been taken for ten seconds.
  auto deaf = TestPeer::Local(SocketPath());
  std::string requests;
  for (int i = 0; i < 3000; ++i) requests += "help\n";
  deaf->Send(requests);
  Settle();
  EXPECT_TRUE(SentUp(*user, "sh/dx\r\n", Up({"AA00", N(s), "sh/dx\r\n"})));
  EXPECT_TRUE(Ask("status").ends_with("ok\n"));
  Settle();
  EXPECT_EQ(control->Server().ClientCount(), 1u);
  loop.AdvanceMs(11000);
  EXPECT_EQ(control->Server().ClientCount(), 0u);

  // A request line without an end is cut at 4 KiB.
  auto endless = TestPeer::Local(SocketPath());
  for (int sent = 0; sent < 1024 * 1024 && (endless->Pump(), !endless->Closed()); sent += 65536) {
    endless->Send(std::string(65536, 'x'));
    Settle();
  }
  EXPECT_TRUE(WaitClosed(*endless));
  EXPECT_EQ(endless->Received(), "error: a request line is at most 4096 bytes\n");

  // Eight clients at once, and no ninth.
  std::vector<Peer> idle;
  for (int i = 0; i < 8; ++i) idle.push_back(TestPeer::Local(SocketPath()));
  Settle();
  auto ninth = TestPeer::Local(SocketPath());
  EXPECT_TRUE(WaitClosed(*ninth));
  EXPECT_EQ(ninth->Received(), "error: the gateway serves at most 8 control clients at once\n");
  idle[3]->Send("json lockout list\n");
  EXPECT_EQ(Reply(*idle[3], true), "{\"ok\":true,\"lock_outs\":[]}\n");
  EXPECT_EQ(LogLines({"<4>control refused"}).size(), 1u);
  // Idle clients go after five minutes and make room.
  loop.AdvanceMs(300000);
  EXPECT_EQ(control->Server().ClientCount(), 0u);
}

TEST_F(ControlSocket, AStaleSocketIsReplacedALiveOneNeverTakenOver) {
  StartOffline();
  // A socket file left behind by a gateway that crashed: nobody answers on it.
  {
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    SocketPath().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
  }
  OpenControl();
  struct stat made {};
  ASSERT_EQ(::stat(SocketPath().c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 0777, 0660u);
  EXPECT_TRUE(Ask("status").ends_with("ok\n"));

  ControlServer second(loop.io, loop.clock, loop.timers, *gateway, gateway->Log());
  EXPECT_FALSE(second.Open(SocketPath()));
  EXPECT_TRUE(Ask("status").ends_with("ok\n"));
  folder.Write("not-a-socket", "keep me");
  EXPECT_FALSE(second.Open(folder.File("not-a-socket")));
  EXPECT_EQ(folder.Read("not-a-socket"), "keep me");
  EXPECT_EQ(
      LogLines({"<3>control"}),
      (Texts{"<3>control listen-failed path=\"" + SocketPath() +
                 "\" error=\"a running gateway answers on " + SocketPath() + "\"",
             "<3>control listen-failed path=\"" + folder.File("not-a-socket") + "\" error=\"" +
                 folder.File("not-a-socket") + " exists and is not a socket\""}));
  control.reset();
  EXPECT_FALSE(folder.Exists("velgated.sock"));
}

}  // namespace
}  // namespace velgate::testing
