// The listener watchdog: a user or bridge listener that hears no connection request for two
// 30-second periods is closed and opened again; its indicator box and the monitor follow the count.

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/ip/tcp.hpp>

#include "UserRoadFixture.h"

namespace velgate::testing {
namespace {

// Holds a port the way another program would.
class PortHolder {
 public:
  PortHolder(asio::io_context& io, int port)
      : acceptor_(
            io, asio::ip::tcp::endpoint(asio::ip::tcp::v4(), static_cast<unsigned short>(port))) {}
  void Release() { acceptor_.close(); }

 private:
  asio::ip::tcp::acceptor acceptor_;
};

class ListenerWatchdog : public UserRoadFixture {
 protected:
  // Moves virtual time to ms after start-up. The monitor drain, finding no client, marks the
  // feed disconnected once a minute; the feed is marked connected again before every short step
  // so that no watchdog message is lost to that.
  void RunTo(std::int64_t ms) {
    ASSERT_GE(ms, now_ms_);
    while (now_ms_ < ms) {
      const std::int64_t step = std::min<std::int64_t>(10, ms - now_ms_);
      gateway->Monitor().SockState = 7;
      loop.AdvanceMs(step);
      now_ms_ += step;
    }
    gateway->Monitor().SockState = 7;
  }

  // The watchdog's monitor messages queued since the last call, everything else dropped.
  std::vector<std::string> WatchdogMessages() {
    std::vector<std::string> found;
    std::string message;
    while (gateway->Monitor().TakeNext(message)) {
      if (message.rfind("^ZQ80^", 0) == 0) found.push_back(message);
    }
    return found;
  }

  static std::string Message(int listener, const std::string& text) {
    return "^ZQ80^ " + std::to_string(listener) + "^" + text + "^\x04";
  }

  const std::string& Indicator(int i) { return gateway->View().Indicators()[i].text; }

  void StartWatched(std::initializer_list<std::string> extra = {}) {
    StartOnline(extra);
    gateway->Monitor().SockState = 7;
    WatchdogMessages();
  }

  std::int64_t now_ms_ = 0;
};

using Messages = std::vector<std::string>;

TEST_F(ListenerWatchdog, IdleListenerCountsOneThenIsRecycledEveryMinute) {
  StartWatched();
  ASSERT_TRUE(gateway->Watchdog().tmrDOS(1).Enabled());

  RunTo(29999);
  EXPECT_EQ(Indicator(1), "0");
  EXPECT_EQ(WatchdogMessages(), Messages{});

  RunTo(30000);
  EXPECT_EQ(Indicator(1), "1");
  EXPECT_EQ(gateway->Watchdog().PortCounter(1), 1);
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "1")});

  RunTo(59999);
  EXPECT_EQ(Indicator(1), "1");
  EXPECT_EQ(WatchdogMessages(), Messages{});

  RunTo(60000);
  EXPECT_EQ(Indicator(1), "R");
  EXPECT_EQ(gateway->Watchdog().PortCounter(1), 0);
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "R")});
  EXPECT_EQ(Table().Socket(1).State(), SocketState::kListening);
  EXPECT_EQ(Table().Socket(1).LocalPort(), user_port);
  // The timer keeps its rhythm through the recycle.
  EXPECT_TRUE(gateway->Watchdog().tmrDOS(1).Enabled());

  RunTo(90000);
  EXPECT_EQ(Indicator(1), "1");
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "1")});
  RunTo(120000);
  EXPECT_EQ(Indicator(1), "R");
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "R")});
  RunTo(180000);
  EXPECT_EQ(Indicator(1), "R");
  EXPECT_EQ(WatchdogMessages(), (Messages{Message(1, "1"), Message(1, "R")}));
  EXPECT_EQ(ErrorLogText(), "");

  // The fresh listener serves callers like the first one did.
  auto user = ConnectUser("127.0.0.5");
  EXPECT_EQ(LastStream(), 2);
  EXPECT_EQ(ClusterWaitFor(40), Up({"AA02", "2", "6"}) + Up({"AA03", "Connect Request", "2", "3",
                                                             "127.0.0.5", "1", "1"}));
  EXPECT_EQ(Indicator(1), "0");
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "0")});
}

TEST_F(ListenerWatchdog, RecycleLeavesConnectedStreamsAndOtherListenersAlone) {
  StartWatched({"\"AGWenabled\",1", "\"AGWport\",\"" + std::to_string(bridge_port) + "\""});
  ASSERT_EQ(Table().Socket(2).LocalPort(), bridge_port);
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  ASSERT_EQ(LastStream(), 3);

  RunTo(30000);
  // Both are due at the same moment; which goes first does not matter.
  Messages both = WatchdogMessages();
  std::sort(both.begin(), both.end());
  EXPECT_EQ(both, (Messages{Message(1, "1"), Message(2, "1")}));
  // A bridge caller at 45 s puts the bridge's watchdog half a period behind the user port's.
  RunTo(45000);
  auto bridge_user = ConnectUser("127.0.0.3", bridge_port);
  ASSERT_EQ(LastStream(), 4);
  EXPECT_EQ(Indicator(2), "0");
  EXPECT_EQ(WatchdogMessages(), Messages{Message(2, "0")});
  ClusterGot();

  RunTo(60000);
  EXPECT_EQ(Indicator(1), "R");
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "R")});
  EXPECT_EQ(Indicator(2), "0");
  EXPECT_EQ(gateway->Watchdog().PortCounter(2), 0);
  EXPECT_EQ(Table().Socket(2).State(), SocketState::kListening);
  EXPECT_EQ(Table().Socket(2).LocalPort(), bridge_port);

  // Both streams still carry traffic, both ways.
  EXPECT_EQ(Table().Socket(3).State(), SocketState::kConnected);
  EXPECT_EQ(Table().Socket(4).State(), SocketState::kConnected);
  user->Send("sh/dx\r\n");
  EXPECT_EQ(ClusterWaitFor(15), Up({"AA00", "3", "sh/dx\r\n"}));
  bridge_user->Send("G4XYZ\r\n");
  EXPECT_EQ(ClusterWaitFor(13), Up({"AA03", "4", "G4XYZ"}));
  ClusterSends(Down({"0", "3", "DX de G4XYZ\r\n"}));
  EXPECT_EQ(UserWaitFor(*user, 13), "DX de G4XYZ\r\n");
  EXPECT_EQ(Settled(*bridge_user), "");
  EXPECT_FALSE(user->Closed());
  EXPECT_FALSE(bridge_user->Closed());

  // The bridge keeps its own period: "1" at 75 s, recycled at 105 s.
  RunTo(75000);
  EXPECT_EQ(WatchdogMessages(), Messages{Message(2, "1")});
  RunTo(105000);
  EXPECT_EQ(WatchdogMessages(), (Messages{Message(1, "1"), Message(2, "R")}));
  EXPECT_EQ(Indicator(2), "R");
  EXPECT_EQ(Table().Socket(2).State(), SocketState::kListening);
  EXPECT_EQ(Table().Socket(2).LocalPort(), bridge_port);
  auto late_bridge_user = ConnectUser("127.0.0.4", bridge_port);
  EXPECT_EQ(LastStream(), 5);
  EXPECT_TRUE(Table().StreamIsBridge[5]);
  EXPECT_EQ(ErrorLogText(), "");
}

TEST_F(ListenerWatchdog, RequestAfterAQuietPeriodShowsZeroAndRestartsThePeriod) {
  StartWatched();
  RunTo(30000);
  ASSERT_EQ(Indicator(1), "1");
  WatchdogMessages();

  RunTo(45000);
  auto user = ConnectUser("127.0.0.2");
  EXPECT_EQ(Indicator(1), "0");
  EXPECT_EQ(gateway->Watchdog().PortCounter(1), 0);
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "0")});

  // Without the restart the tick due at 60 s would show "1" and the one at 90 s recycle.
  RunTo(74999);
  EXPECT_EQ(Indicator(1), "0");
  EXPECT_EQ(WatchdogMessages(), Messages{});
  RunTo(75000);
  EXPECT_EQ(Indicator(1), "1");
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "1")});
  RunTo(104999);
  EXPECT_EQ(Indicator(1), "1");
  RunTo(105000);
  EXPECT_EQ(Indicator(1), "R");
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "R")});
  EXPECT_EQ(Settled(*user), "");
  EXPECT_FALSE(user->Closed());
}

TEST_F(ListenerWatchdog, RequestWhileShowingZeroIsSilentButRestartsThePeriod) {
  StartWatched();
  RunTo(20000);
  auto first = ConnectUser("127.0.0.2");
  EXPECT_EQ(Indicator(1), "0");
  EXPECT_EQ(WatchdogMessages(), Messages{});

  RunTo(49999);
  EXPECT_EQ(Indicator(1), "0");
  EXPECT_EQ(WatchdogMessages(), Messages{});
  RunTo(50000);
  EXPECT_EQ(Indicator(1), "1");
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "1")});

  // Requests every 20 s keep it at "0" for good.
  RunTo(60000);
  auto second = ConnectUser("127.0.0.3");
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "0")});
  RunTo(80000);
  auto third = ConnectUser("127.0.0.4");
  RunTo(100000);
  auto fourth = ConnectUser("127.0.0.5");
  RunTo(129999);
  EXPECT_EQ(Indicator(1), "0");
  EXPECT_EQ(WatchdogMessages(), Messages{});
  RunTo(130000);
  EXPECT_EQ(Indicator(1), "1");
}

TEST_F(ListenerWatchdog, TakenPortAtRecycleIsLoggedAndTriedAgainTwoTicksLater) {
  StartWatched();
  RunTo(30000);
  ASSERT_EQ(WatchdogMessages(), Messages{Message(1, "1")});
  // Our listener has let go of the port (as one that died would) and another program took it.
  Table().Socket(1).Close();
  PortHolder holder(loop.io, user_port);

  RunTo(60000);
  const std::string log = ErrorLogText();
  EXPECT_EQ(ErrorLogLines(), 1u);
  ASSERT_GE(log.size(), 16u);
  EXPECT_EQ(log.front(), '"');
  EXPECT_EQ(log.substr(log.size() - 16), "tmrDos_timer \"\r\n");
  EXPECT_EQ(WatchdogMessages(), Messages{});
  EXPECT_EQ(Indicator(1), "R");
  EXPECT_EQ(gateway->Watchdog().PortCounter(1), 0);
  EXPECT_NE(Table().Socket(1).State(), SocketState::kListening);

  holder.Release();
  RunTo(90000);
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "1")});
  EXPECT_NE(Table().Socket(1).State(), SocketState::kListening);
  EXPECT_FALSE(PortAnswers(user_port));

  RunTo(120000);
  EXPECT_EQ(WatchdogMessages(), Messages{Message(1, "R")});
  EXPECT_EQ(Indicator(1), "R");
  ASSERT_EQ(Table().Socket(1).State(), SocketState::kListening);
  auto user = ConnectUser("127.0.0.2");
  EXPECT_EQ(ClusterWaitFor(40), Up({"AA02", "2", "6"}) + Up({"AA03", "Connect Request", "2", "3",
                                                             "127.0.0.2", "1", "1"}));
  EXPECT_EQ(ErrorLogLines(), 1u);
}

}  // namespace
}  // namespace velgate::testing
