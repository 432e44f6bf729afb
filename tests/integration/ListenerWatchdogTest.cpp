// The listener watchdog: a user or bridge listener that hears no connection request for two
// 30-second periods is closed and opened again; its indicator box and the monitor follow the count.

#include <algorithm>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class ListenerWatchdog : public UserRoadFixture {
 protected:
  void StartWatched(std::initializer_list<std::string> extra = {}) {
    StartOnline(extra);
    gateway->Monitor().Feed().SockState = SocketState::kConnected;
    Shown();
  }

  // Moves virtual time to ms after start-up. The monitor drain, finding no client, marks the
  // feed disconnected once a minute; it is marked connected again before every short step so
  // that no watchdog message is lost to that.
  void RunTo(std::int64_t ms) {
    for (; now_ms_ < ms; now_ms_ += std::min<std::int64_t>(10, ms - now_ms_)) {
      gateway->Monitor().Feed().SockState = SocketState::kConnected;
      loop.AdvanceMs(std::min<std::int64_t>(10, ms - now_ms_));
    }
    gateway->Monitor().Feed().SockState = SocketState::kConnected;
  }

  // The indicator boxes, then the watchdog's monitor messages queued since the last call.
  std::string Shown() {
    std::string text = gateway->View().Indicators()[1].text;
    if (gateway->View().Indicators().size() > 2) text += gateway->View().Indicators()[2].text;
    for (const std::string& m : Starting(MonitorQueue(), {"^ZQ80^ "})) text += " " + m.substr(7, 3);
    return text;
  }

  void ExpectSchedule(std::initializer_list<std::pair<std::int64_t, const char*>> schedule) {
    for (const auto& [ms, shown] : schedule) {
      RunTo(ms);
      EXPECT_EQ(Shown(), shown) << ms;
    }
  }

  std::int64_t now_ms_ = 0;
};

TEST_F(ListenerWatchdog, IdleListenerIsRecycledEveryMinuteAndATakenPortTriedAgainLater) {
  StartWatched();
  ExpectSchedule(
      {{29999, "0"}, {30000, "1 1^1"}, {59999, "1"}, {60000, "R 1^R"}, {90000, "1 1^1"}});
  EXPECT_EQ(ErrorLogText(), "");
  // Our listener has let go of the port (as one that died would) and another program took it.
  Table().Socket(1).Close();
  PortHolder holder(user_port);
  ExpectSchedule({{120000, "R"}});
  EXPECT_EQ(ErrorLogLines(), 1u);
  EXPECT_EQ(ErrorLogText().substr(ErrorLogText().size() - 16), "tmrDos_timer \"\r\n");
  holder.Release();
  ExpectSchedule({{150000, "1 1^1"}});
  EXPECT_FALSE(PortAnswers(user_port));
  ExpectSchedule({{180000, "R 1^R"}, {240000, "R 1^1 1^R"}});
  // The fresh listener serves callers like the first one did.
  auto user = ConnectUser("127.0.0.5");
  EXPECT_TRUE(ClusterGets(Up({"AA02", "2", "6"}) +
                          Up({"AA03", "Connect Request", "2", "3", "127.0.0.5", "1", "1"})));
  EXPECT_EQ(Shown(), "0 1^0");
  EXPECT_EQ(ErrorLogLines(), 1u);
}

TEST_F(ListenerWatchdog, RecycleLeavesConnectedStreamsAndOtherListenersAlone) {
  StartWatched({"\"AGWenabled\",1"});
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  RunTo(30000);
  const std::string both = Shown();  // both due at once: either may go first
  EXPECT_TRUE(both == "11 1^1 2^1" || both == "11 2^1 1^1") << both;
  // A bridge caller at 45 s puts the bridge's watchdog half a period behind the user port's.
  RunTo(45000);
  auto bridge_user = ConnectUser("127.0.0.3", bridge_port);
  ASSERT_EQ(LastStream(), 4);
  EXPECT_EQ(Shown(), "10 2^0");
  ClusterGot();
  ExpectSchedule({{60000, "R0 1^R"}});

  // Both streams still carry traffic, both ways.
  user->Send("sh/dx\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA00", "3", "sh/dx\r\n"})));
  bridge_user->Send("G4XYZ\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA03", "4", "G4XYZ"})));
  ClusterSends(Down({"0", "3", "DX de G4XYZ\r\n"}));
  EXPECT_TRUE(UserGets(*user, "DX de G4XYZ\r\n"));
  EXPECT_TRUE(StillConnected(*bridge_user));

  // The bridge keeps its own period: "1" at 75 s, recycled at 105 s.
  ExpectSchedule({{75000, "R1 2^1"}, {105000, "1R 1^1 2^R"}});
  EXPECT_EQ(Table().Socket(2).LocalPort(), bridge_port);
  auto late_bridge_user = ConnectUser("127.0.0.4", bridge_port);
  EXPECT_TRUE(Table().At(LastStream()).is_bridge);
  EXPECT_EQ(ErrorLogText(), "");
}

TEST_F(ListenerWatchdog, RequestRestartsThePeriodAndShowsZeroAfterAQuietOne) {
  StartWatched();
  RunTo(20000);
  auto first = ConnectUser("127.0.0.2");
  EXPECT_EQ(Shown(), "0");  // already showing "0": silent
  ExpectSchedule({{49999, "0"}, {50000, "1 1^1"}, {65000, "1"}});
  auto second = ConnectUser("127.0.0.3");
  EXPECT_EQ(Shown(), "0 1^0");
  // Requests every 20 s keep it at "0" for good.
  std::vector<std::unique_ptr<TestPeer>> users;
  for (std::int64_t ms : {85000, 105000}) {
    RunTo(ms);
    users.push_back(ConnectUser("127.0.0." + N(static_cast<int>(ms / 10000))));
  }
  ExpectSchedule({{134999, "0"}, {135000, "1 1^1"}, {165000, "R 1^R"}});
  EXPECT_TRUE(StillConnected(*first) && StillConnected(*second));
}

}  // namespace
}  // namespace velgate::testing
