// The ways a stream ends and what the cluster hears of each: a hang-up, a socket error, a user
// who stops reading, a line that never ends and the login timeout (a tick every 5 s, 60 ticks
// for a caller who never logs in, 360 for a refused one).

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

constexpr std::int64_t kTick = 5000;

class StreamEndings : public UserRoadFixture {
 protected:
  void SetUp() override { StartOnline({"\"Locked Out\",\"127.0.0.5\""}); }
  std::int32_t Ticks(int s) { return Table().At(s).idle_ticks; }
};

TEST_F(StreamEndings, HangUpsReportWhatWasTypedAndSocketErrorsReportZero) {
  auto silent = ConnectUser("127.0.0.2");
  auto typing = ConnectUser("127.0.0.3");
  auto user = LoggedInUser("G1\x03X", "127.0.0.4");
  auto failing = LoggedInUser("G2\x03Y", "127.0.0.6");
  typing->Send("G1A");
  ASSERT_TRUE(loop.RunUntil([&] { return Row(3).call.text == "G1A"; }));
  for (int s : {4, 5}) gateway->View().MutableRow(s).address.tip = "04-Dec-2026 1200Z";
  const std::string port_text = Row(4).port.text;
  ClusterGot();

  silent->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "", "2", "1"})));
  typing->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1A", "3", "2"})));
  user->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", std::string("G1\0X", 4), "4", "3"})));  // Chr(3) masked
  for (Colour colour : {Row(4).address.colour, Row(4).port.colour, Row(4).call.colour})
    EXPECT_EQ(colour, colours::kWhite);
  EXPECT_EQ(Row(4).address.tip, "");
  EXPECT_EQ(Row(4).address.text + Row(4).port.text + Row(4).call.text,
            "127.0.0.4" + port_text + "G1\x03X");

  failing->Reset();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G2Y", "5", "0"})));  // Chr(3) dropped
  ASSERT_TRUE(WaitSocket(5, SocketState::kClosed));
  EXPECT_EQ(State(5), StreamState::kAccepted);
  EXPECT_EQ(Table().At(5).connection, 0);
  EXPECT_EQ(Row(5).call.colour, colours::kWhite);
  // Only the hang-up paints the port field and empties the login time.
  EXPECT_EQ(Row(5).port.colour, colours::kGreen);
  EXPECT_EQ(Row(5).address.tip, "04-Dec-2026 1200Z");
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(StreamEndings, UserWhoStopsReadingIsEndedOnceWhileOthersKeepFlowing) {
  auto slow = LoggedInUser("SLOW", "127.0.0.2");
  auto fast = LoggedInUser("FAST", "127.0.0.3");
  // Several messages to a block, as a busy cluster sends them, a few blocks at a time so that
  // the gateway keeps draining the link.
  const std::string message = Down({"0", "2", std::string(16 * 1024, 'x')});
  const std::string flood = message + message + message + Down({"0", "2", std::string(9000, 'y')});
  const std::size_t flood_text = 3 * 16 * 1024 + 9000;
  std::string fast_expected;
  std::size_t addressed = 0;
  int sent = 0;
  for (; sent < 3000 && State(2) == StreamState::kLoggedIn; ++sent) {
    ClusterSends(flood);
    addressed += flood_text;
    loop.Poll();
    if (sent % 10 == 0) {
      ClusterSends(Down({"0", "3", "DX " + N(sent) + "\r\n"}));
      fast_expected += "DX " + N(sent) + "\r\n";
    }
  }
  ASSERT_LT(sent, 3000) << "the silent reader was never ended";
  for (int more = 0; more < 20; ++more) {  // still on its way for the ended stream
    ClusterSends(flood);
    loop.Poll();
  }
  EXPECT_TRUE(UserGets(*fast, fast_expected));
  fast->Send("sh/dx\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA17", "SLOW", "2", "0"}) + Up({"AA00", "3", "sh/dx\r\n"})));
  EXPECT_EQ(ClusterGot(), "");  // the ending is reported once
  EXPECT_TRUE(WaitClosed(*slow));
  // What the system took is delivered; the rest, a little over 1 MiB, was waiting in the gateway.
  const std::size_t waiting = addressed - slow->Received().size();
  EXPECT_GT(waiting, std::size_t{1024 * 1024 - 16 * 1024});
  EXPECT_LE(waiting, 1024 * 1024 + flood_text);
}

TEST_F(StreamEndings, HeldTextWithoutLineEndEndsTheStreamAndIsNotLogged) {
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  const std::string long_line = std::string(65000, 'b') + "\r\n";
  user->Send(long_line);
  EXPECT_TRUE(ClusterGets(Up({"AA00", "2", long_line})));
  user->Send(std::string(70000, 'a'));
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1ABC", "2", "1"})));
  EXPECT_TRUE(WaitClosed(*user));
  EXPECT_EQ(ErrorLogLines(), 1u);
  EXPECT_EQ(ErrorLogText().rfind("\"04-12-2026 1200Z VelgateIn_DataArrival ", 0), 0u);
  EXPECT_EQ(ErrorLogText().find("aaaa"), std::string::npos);
}

TEST_F(StreamEndings, CallersWhoNeverLogInAreEndedAtTick60AndRefusedOnesAt360) {
  auto plain = ConnectUser("127.0.0.2");
  auto locked = ConnectUser("127.0.0.5");
  auto nuisance = ConnectUser("127.0.0.6");
  auto confirmed = LoggedInUser("G1AAA", "127.0.0.7");
  nuisance->Send("GET / HTTP/1.0\r\n");
  ASSERT_TRUE(WaitState(4, StreamState::kRefused));
  ClusterGot();

  loop.AdvanceMs(59 * kTick);
  EXPECT_EQ(Ticks(2), 59);
  EXPECT_TRUE(StillConnected(*plain));
  EXPECT_EQ(ClusterGot(), "");
  loop.AdvanceMs(kTick);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "", "2", "1"})));
  EXPECT_TRUE(WaitClosed(*plain));

  loop.AdvanceMs(299 * kTick);
  EXPECT_EQ(Ticks(3), 359);
  EXPECT_TRUE(StillConnected(*locked) && StillConnected(*nuisance));
  EXPECT_EQ(ClusterGot(), "");
  loop.AdvanceMs(kTick);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "IP Locked Out", "3", "2"}) +
                          Up({"AA17", "GET / HTTP/1.0\r\n", "4", "3"})));
  EXPECT_TRUE(WaitClosed(*locked) && WaitClosed(*nuisance));

  // No second report; a confirmed stream is never timed out.
  loop.AdvanceMs(100 * kTick);
  EXPECT_TRUE(StillConnected(*confirmed));
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(StreamEndings, TheNextCallerGetsAFreshCountAndInputRestartsThePeriodButNotTheCount) {
  auto first = ConnectUser("127.0.0.2");
  ClusterGot();
  loop.AdvanceMs(50 * kTick);
  first->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "", "2", "1"})));
  auto user = ConnectUser("127.0.0.3");
  ASSERT_EQ(LastStream(), 2);
  ClusterGot();
  loop.AdvanceMs(4000);
  user->Send("G");
  ASSERT_TRUE(loop.RunUntil([&] { return Row(2).call.text == "G"; }));
  loop.AdvanceMs(4999);  // the tick due at 5 s now comes at 9 s
  EXPECT_EQ(Ticks(2), 0);
  loop.AdvanceMs(1);
  EXPECT_EQ(Ticks(2), 1);

  loop.AdvanceMs(58 * kTick + 1000);
  user->Send("1");
  ASSERT_TRUE(loop.RunUntil([&] { return Row(2).call.text == "G1"; }));
  EXPECT_EQ(Ticks(2), 59);
  loop.AdvanceMs(kTick - 1);
  EXPECT_TRUE(StillConnected(*user));
  EXPECT_EQ(ClusterGot(), "");  // no second report of the first caller either
  loop.AdvanceMs(1);
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1", "2", "2"})));
}

}  // namespace
}  // namespace velgate::testing
