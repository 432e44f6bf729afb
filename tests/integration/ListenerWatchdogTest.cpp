// A listener that hears no connection request for two 30-second periods is opened again.

#include <algorithm>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class ListenerWatchdog : public GatewayFixture {
 protected:
  void StartWatched(std::initializer_list<std::string> extra = {}) {
    StartOnline(extra);
    Feed().SockState = SocketState::kConnected;
    Shown();
  }

  // In 10 ms steps, the feed marked connected before each (the drain, with no client, unmarks it).
  void RunTo(std::int64_t ms) {
    for (; now_ms_ < ms; now_ms_ += std::min<std::int64_t>(10, ms - now_ms_)) {
      Feed().SockState = SocketState::kConnected;
      loop.AdvanceMs(std::min<std::int64_t>(10, ms - now_ms_));
    }
    Feed().SockState = SocketState::kConnected;
  }

  std::string Shown() {
    std::string text = gateway->View().Indicators()[1].text;
    if (gateway->View().Indicators().size() > 2) text += gateway->View().Indicators()[2].text;
    for (const std::string& m : MonitorQueue({"^ZQ80^ "})) text += " " + m.substr(7, 3);
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

TEST_F(ListenerWatchdog, RecycledAfterTwoQuietPeriodsWhichRequestsRestartAndATakenPortIsRetried) {
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
  auto user = ConnectUser("127.0.0.5");
  EXPECT_TRUE(ClusterGets(Announced(2, "127.0.0.5", 1)));
  EXPECT_EQ(Shown(), "0 1^0");
  // Each request restarts the period: one every 20 s keeps the count at "0", silently.
  std::vector<Peer> users;
  for (int ms : {260000, 280000}) {
    RunTo(ms);
    users.push_back(ConnectUser("127.0.0." + N(ms / 10000)));
    EXPECT_EQ(Shown(), "0");
  }
  ExpectSchedule({{309999, "0"}, {310000, "1 1^1"}, {340000, "R 1^R"}});
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
  EXPECT_EQ(Shown(), "10 2^0");
  ClusterGot();
  ExpectSchedule({{60000, "R0 1^R"}});

  EXPECT_TRUE(SentUp(*user, "sh/dx\r\n", Up({"AA00", "3", "sh/dx\r\n"})));
  EXPECT_TRUE(SentUp(*bridge_user, "G4XYZ\r\n", Up({"AA03", "4", "G4XYZ"})));
  EXPECT_TRUE(SentDown(Down({"0", "3", "DX de G4XYZ\r\n"}), *user, "DX de G4XYZ\r\n"));

  // The bridge keeps its own period: "1" at 75 s, recycled at 105 s.
  ExpectSchedule({{75000, "R1 2^1"}, {105000, "1R 1^1 2^R"}});
  auto late_bridge_user = ConnectUser("127.0.0.4", bridge_port);
  EXPECT_TRUE(ClusterGets(Announced(5, "AGW/BPQ", 3, "2", 3, 7)));
  EXPECT_EQ(ErrorLogText(), "");
}

}  // namespace
}  // namespace velgate::testing
