// Outgoing connections: the cluster's code 9 opens a TCP connection on a free stream, reported
// with AA06 when it starts and AA38 when it is made; its data then travels raw, block by block.

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class OutgoingConnection : public UserRoadFixture {
 protected:
  static std::string Order(int port) { return Down({"9", "G1ABC", "127.0.0.1", N(port)}); }
  static std::string AA06(int s, int connection) {
    return Up(
        {"AA06", "Outgoing Connect Request to G1ABC", N(s), "3", "127.0.0.1", "0", N(connection)});
  }
  static std::string AA38(int s) { return Up({"AA38", "G1ABC", N(s), "2", "127.0.0.1", ""}); }
  static std::string Ended(int s) { return Up({"AA17", "G1ABC", N(s), "0"}); }

  // The far end's side of the connection the gateway made.
  std::unique_ptr<TestPeer> Accepted() {
    std::unique_ptr<TestPeer> peer;
    EXPECT_TRUE(loop.RunUntil([&] { return (peer = far.Accept()) != nullptr; }));
    return peer;
  }

  // An order carried out on stream s: connected, picked up by the far end, reports read.
  std::unique_ptr<TestPeer> Connected(int s, int connection) {
    ClusterSends(Order(far.Port()));
    EXPECT_TRUE(WaitSocket(s, SocketState::kConnected));
    EXPECT_TRUE(ClusterGets(AA06(s, connection) + AA38(s)));
    return Accepted();
  }

  PortHolder far;
};

TEST_F(OutgoingConnection, OrderIsReportedAndShownAndItsDataTravelsRawBlockByBlock) {
  StartOnline();
  ClusterSends(Order(far.Port()));
  // Caught while it connects: shown yellow, waiting in state 2, without a login timer.
  ASSERT_TRUE(loop.RunUntil([&] { return Table().Socket(2).State() != SocketState::kClosed; }));
  EXPECT_EQ(Table().Socket(2).State(), SocketState::kConnecting);
  EXPECT_EQ(Row(2).address.colour, colours::kYellow);
  EXPECT_FALSE(Table().At(2).login_timer.Enabled());
  ASSERT_TRUE(WaitSocket(2, SocketState::kConnected));
  EXPECT_TRUE(ClusterGets(AA06(2, 1) + AA38(2)));
  EXPECT_EQ(Row(2).address.text + "|" + Row(2).address.tag + "|" + Row(2).port.text + "|" +
                Row(2).call.text,
            "127.0.0.1|0|" + N(far.Port()) + "|G1ABC");
  EXPECT_EQ(Row(2).address.colour, colours::kCyan);
  EXPECT_EQ(State(2), StreamState::kAnnounced);  // established is not confirmed

  // Telnet commands and half lines are not this stream's business: each block goes up whole.
  auto far_side = Accepted();
  const std::string block = std::string("\xff\xfd\x18") + "DX de G4XYZ: 14025.0\r\nhalf";
  far_side->Send(block);
  EXPECT_TRUE(ClusterGets(Up({"AA03", "2", block})));
  ClusterSends(Down({"6", "2"}));
  ASSERT_TRUE(WaitState(2, StreamState::kLoggedIn));
  far_side->Send("a\x03z");
  EXPECT_TRUE(ClusterGets(Up({"AA00", "2", "a\x02z"})));
  ClusterSends(Down({"0", "2", "G4XYZ de G1ABC\r\n"}) + Down({"0", "2", "\xff\xfb\x01"}));
  EXPECT_TRUE(UserGets(*far_side, "G4XYZ de G1ABC\r\n\xff\xfb\x01"));
}

TEST_F(OutgoingConnection, RefusedOrUnreachableConnectionIsReportedEndedAndFreesTheStream) {
  StartOnline();
  const std::string closed = N(far.Port());
  far.Release();  // nothing listens there now
  // No number at all is port 0, which cannot be reached either.
  for (const std::string& port : {closed, std::string("telnet")}) {
    ClusterSends(Down({"9", "G1ABC", "127.0.0.1", port}));
    const int id = Table().LastConnID() + 1;
    EXPECT_TRUE(ClusterGets(AA06(2, id) + Ended(2))) << port;
    ASSERT_TRUE(WaitSocket(2, SocketState::kClosed));
    EXPECT_EQ(State(2), StreamState::kAccepted);
    EXPECT_EQ(Row(2).call.colour, colours::kWhite);
    EXPECT_EQ(Row(2).port.text, port == "telnet" ? "0" : port);
  }
  EXPECT_EQ(ErrorLogText(), "");

  // Beyond 32 bits the order fails before it takes a stream or a connection number.
  ClusterSends(Down({"9", "G1ABC", "127.0.0.1", "99999999999"}));
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_EQ(ErrorLogLines(), 1u);
  EXPECT_NE(ErrorLogText().find(" ConnectOut Overflow\"\r\n"), std::string::npos);
  EXPECT_EQ(Table().LastConnID(), 2);
  auto user = ConnectUser("127.0.0.2");
  EXPECT_EQ(LastStream(), 2);
}

TEST_F(OutgoingConnection, OfflineTheClusterHearsOnlyTheAA38AndAFullTableGrowsByFive) {
  StartOffline();
  ConnectCluster(false);
  std::vector<std::unique_ptr<TestPeer>> users;
  for (int i = 2; i <= 6; ++i) users.push_back(ConnectUser("127.0.0." + N(i)));
  ClusterSends(Order(far.Port()));
  ASSERT_TRUE(WaitSocket(7, SocketState::kConnected));
  EXPECT_TRUE(ClusterGets(AA38(7)));
  EXPECT_EQ(State(7), StreamState::kAnnounced);
  EXPECT_EQ(Table().StreamMax(), 11);
  for (int s = 2; s <= 11; ++s)
    EXPECT_EQ(Table().Socket(s).State(), s <= 7 ? SocketState::kConnected : SocketState::kClosed);
  Accepted();
}

TEST_F(OutgoingConnection, StaleLoginTimerAndCurrentStreamAreLeftAlone) {
  StartOnline();
  auto user = LoggedInUser("G4XYZ", "127.0.0.2");
  {
    // Connected, never logged in, gone after four of its five minutes.
    auto caller = ConnectUser("127.0.0.3");
    loop.AdvanceMs(240000);
    ASSERT_TRUE(Table().At(3).login_timer.Enabled());
    caller->Close();
    ASSERT_TRUE(WaitSocket(3, SocketState::kClosed));
  }
  ClusterSends(Down({"0", "2", "first "}));
  EXPECT_TRUE(UserGets(*user, "first "));
  ClusterGot();
  auto far_side = Connected(3, 3);
  loop.AdvanceMs(61000);  // past the old caller's five minutes
  EXPECT_TRUE(StillConnected(*far_side));
  EXPECT_EQ(ClusterGot(), "");
  // Text without a stream still goes where the last numbered message went.
  ClusterSends("and more" + EOT);
  EXPECT_TRUE(UserGets(*user, "and more"));
}

}  // namespace
}  // namespace velgate::testing
