// The operational log as the program writes it, and what a service manager hears: start-up, the
// cluster coming and going, users, refused callers, the monitor client, the ten-minute summary.

#include <unistd.h>

#include <functional>

#include "GatewayFixture.h"
#include "base/Version.h"

namespace velgate::testing {
namespace {

class OperationsLog : public GatewayFixture {
 protected:
  /// Runs the loop until the log has a line, then takes its lines.
  Texts NextLines() {
    EXPECT_TRUE(loop.RunUntil([&] { return !log_capture.lines.empty(); }));
    Settle();
    return LogLines();
  }
  std::string Refusal(const std::string& ip, int port, const std::string& reason) {
    return "<4>refused ip=" + ip + " port=" + N(port) + " reason=" + reason;
  }
};

TEST_F(OperationsLog, StartTheClusterComingAndGoingAndTheUsersLinesLostMeanwhile) {
  StartOffline();
  EXPECT_EQ(LogLines(),
            (Texts{"<6>starting version=" + std::string(kVersion) + " dir=\"" + folder.Path() +
                       "\" open_files=" + N(gateway->Descriptors().Reserve().Limit()),
                   "<6>listening port=" + N(monitor_port) + " for=monitor",
                   "<6>listening port=" + N(user_port) + " for=users",
                   "<6>listening port=" + N(cluster_port) + " for=cluster"}));
  ConnectCluster();
  EXPECT_EQ(LogLines(),
            (Texts{"<6>cluster connected ip=127.0.0.1", "<6>cluster online streams=0"}));
  auto user = ConnectUser("127.0.0.3");
  const int s = LastStream();
  SendsLogin(*user, s, "G1ABC");
  ClusterSends(Down({"5", N(s), "G1ABC"}));
  ASSERT_TRUE(WaitState(s, StreamState::kLoggedIn));
  EXPECT_EQ(NextLines(),
            Texts{"<6>user logged-in stream=2 call=G1ABC ip=127.0.0.3 port=" + N(user_port)});

  ClusterGot();  // a close with unread bytes would be a reset: a failed link
  cluster->Close();
  EXPECT_EQ(NextLines(), Texts{"<4>cluster dropped reason=closed"});
  for (const char* line : {"sh/dx\r\n", "sh/wwv\r\n"}) user->Send(line), Settle();
  ConnectCluster();
  EXPECT_EQ(LogLines(), (Texts{"<6>cluster connected ip=127.0.0.1", "<6>cluster online streams=1",
                               "<4>cluster discarded lines=2"}));
  gateway->DisconnectCluster();
  EXPECT_EQ(LogLines(), Texts{"<4>cluster dropped reason=operator"});
  ConnectCluster(false);
  loop.AdvanceMs(ClusterLink::kGreetingWaitMs);
  EXPECT_EQ(LogLines(), (Texts{"<6>cluster connected ip=127.0.0.1",
                               "<4>cluster dropped reason=greeting-timeout"}));

  user->Close();
  EXPECT_EQ(NextLines(), Texts{"<6>user ended stream=2 call=G1ABC how=hung-up"});
  // error.log keeps its own lines only.
  EXPECT_EQ(ErrorLogText().find("<"), std::string::npos);
}

TEST_F(OperationsLog, EveryRefusedCallerIsOneLineWithItsReason) {
  trusted = "127.0.0.1";  // the cluster and monitor ports
  folder.Write("Velgate.cfg", StandardConfig({"\"Locked Out\",\"127.0.2.\""}));
  Start();
  LogLines();
  TestPeer stranger(cluster_port, "127.0.0.5");
  EXPECT_EQ(NextLines(), Texts{Refusal("127.0.0.5", cluster_port, "cluster-allow")});
  ConnectCluster();
  std::vector<Peer> users;
  for (int i = 0; i < 9; ++i) users.push_back(ConnectUser("127.0.0.9"));
  LogLines();

  struct Case {
    std::string address;
    int port;
    std::string typed;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"127.0.0.9", user_port, "", "per-address-limit"},
      {"127.0.2.7", user_port, "", "locked-out"},
      {"127.0.0.5", user_port, "GET / HTTP/1.0\r\n", "nuisance-web"},
      {"127.0.0.6", user_port, "TEAMLUC\r\n", "nuisance-login"},
      {"127.0.0.5", monitor_port, "", "monitor-allow"},
  };
  for (const Case& c : cases) {
    users.push_back(std::make_unique<TestPeer>(c.port, c.address));
    if (!c.typed.empty()) users.back()->Send(c.typed);
    EXPECT_EQ(NextLines(), Texts{Refusal(c.address, c.port, c.reason)}) << c.reason;
  }
  // A nuisance caller's address is locked out from then on.
  users.push_back(std::make_unique<TestPeer>(user_port, "127.0.0.6"));
  EXPECT_EQ(NextLines(), Texts{Refusal("127.0.0.6", user_port, "locked-out")});

  const int lowest_free = ::dup(0);
  ::close(lowest_free);
  gateway->Descriptors().Reserve().SetLimit(lowest_free + DescriptorReserve::kReserved);
  TestPeer over(user_port, "127.0.0.4");
  EXPECT_EQ(NextLines(), Texts{Refusal("127.0.0.4", user_port, "descriptor-reserve")});
}

TEST_F(OperationsLog, TheMonitorClientAndTheWaysAUsersStreamEnds) {
  StartOnline();
  LogLines();
  auto monitor = std::make_unique<TestPeer>(monitor_port);
  EXPECT_EQ(NextLines(), Texts{"<6>monitor attached ip=127.0.0.1"});
  monitor.reset();
  EXPECT_EQ(NextLines(), Texts{"<6>monitor dropped ip=127.0.0.1 reason=closed"});

  struct Case {
    std::string how;
    std::function<void(TestPeer&, int)> end;
  };
  const std::vector<Case> cases = {
      {"cluster-closed",
       [&](TestPeer&, int s) {
         ClusterSends(Down({"8", N(s)}));
       }},
      {"failed", [&](TestPeer& user, int) { user.Reset(); }},
      {"line-too-long", [&](TestPeer& user, int) { user.Send(std::string(70000, 'x')); }},
  };
  for (const Case& c : cases) {
    auto user = LoggedInUser("G1ABC", "127.0.0.2");
    const int s = LastStream();
    LogLines();
    c.end(*user, s);
    EXPECT_EQ(NextLines(), Texts{"<6>user ended stream=" + N(s) + " call=G1ABC how=" + c.how});
  }
  auto silent = ConnectUser("127.0.0.3");
  const int s = LastStream();
  loop.AdvanceMs(5 * 60 * 1000);
  EXPECT_EQ(LogLines({"<6>user"}),
            Texts{"<6>user ended stream=" + N(s) + " call=- how=login-timeout"});
}

TEST_F(OperationsLog, ASummaryEveryTenMinutesAndTheFirstRecycleOfAQuietListener) {
  StartOnline();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  const int s = LastStream();
  LogLines();
  // Quiet for ten minutes: recycled every minute, told once. Up so far: AA01, AA18, AA02, AA03.
  loop.AdvanceMs(SummaryReport::kEveryMs);
  EXPECT_EQ(LogLines(),
            (Texts{"<4>listener recycled port=" + N(user_port),
                   "<6>summary users=1 highest=1 to_cluster=5 from_cluster=1 queued_bytes=0"}));

  EXPECT_TRUE(SentUp(*user, "sh/dx\r\n", Up({"AA00", N(s), "sh/dx\r\n"})));
  EXPECT_TRUE(SentUp(*user, "sh/wwv\r\n", Up({"AA00", N(s), "sh/wwv\r\n"})));
  EXPECT_TRUE(SentDown(Down({"0", N(s), "a"}) + Down({"0", N(s), "b"}) + Down({"0", N(s), "c"}),
                       *user, "abc"));
  loop.AdvanceMs(SummaryReport::kEveryMs);
  EXPECT_EQ(LogLines(),
            Texts{"<6>summary users=1 highest=1 to_cluster=2 from_cluster=3 queued_bytes=0"});

  // The cluster gone: the lines lost are told with the summary; a caller starts a new quiet
  // spell for the listener.
  cluster->Close();
  EXPECT_EQ(NextLines(), Texts{"<4>cluster dropped reason=closed"});
  user->Send("sh/dx\r\n");
  auto offline = ConnectUser("127.0.0.3");
  loop.AdvanceMs(SummaryReport::kEveryMs);
  EXPECT_EQ(LogLines(),
            (Texts{"<4>listener recycled port=" + N(user_port),
                   "<6>user ended stream=" + N(LastStream()) + " call=- how=login-timeout",
                   "<6>summary users=1 highest=1 to_cluster=0 from_cluster=0 queued_bytes=0",
                   "<4>cluster discarded lines=1"}));
}

struct ServiceManager final : ServiceNotify {
  void Notify(const std::string& state) override { told.push_back(state); }
  std::int64_t WatchdogMs() const override { return 20000; }
  Texts Take() { return std::exchange(told, {}); }
  Texts told;
};

TEST_F(OperationsLog, TheServiceManagerHearsReadyStatusAtMostOnceASecondWatchdogAndStopping) {
  ServiceManager manager;
  service = &manager;
  folder.Write("Velgate.cfg", StandardConfig());
  Start(false);
  EXPECT_EQ(manager.Take(), Texts{});  // not before the listeners are open
  loop.AdvanceMs(250);
  EXPECT_EQ(manager.Take(), (Texts{"READY=1", "STATUS=0 users logged in"}));
  loop.AdvanceMs(10000 - 250);
  EXPECT_EQ(manager.Take(), Texts{"WATCHDOG=1"});

  ConnectCluster();
  auto first = LoggedInUser("G1ABC", "127.0.0.2");
  auto second = LoggedInUser("G2ABC", "127.0.0.3");
  EXPECT_EQ(manager.Take(), Texts{});
  loop.AdvanceMs(1000);
  EXPECT_EQ(manager.Take(), Texts{"STATUS=2 users logged in"});
  loop.AdvanceMs(1000);
  EXPECT_EQ(manager.Take(), Texts{});

  ClusterSends(Down({"10", "disconnect"}));
  ASSERT_TRUE(loop.RunUntil([&] { return shut_down; }));
  EXPECT_EQ(manager.Take(), Texts{"STOPPING=1"});
  EXPECT_EQ(LogLines({"<6>stopping"}), Texts{"<6>stopping by=cluster"});
}

}  // namespace
}  // namespace velgate::testing
