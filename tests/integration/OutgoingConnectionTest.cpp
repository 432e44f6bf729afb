// The cluster's code 9 opens a connection on a free stream (AA06 as it starts, AA38 once made)
// whose data travels raw, block by block, until a block passes 1,000 bytes.

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class OutgoingConnection : public GatewayFixture {
 protected:
  static std::string Order(int port) { return Down({"9", "G1ABC", "127.0.0.1", N(port)}); }
  static std::string AA06(int s, int connection) {
    return Up(
        {"AA06", "Outgoing Connect Request to G1ABC", N(s), "3", "127.0.0.1", "0", N(connection)});
  }
  static std::string AA38(int s) { return Up({"AA38", "G1ABC", N(s), "2", "127.0.0.1", ""}); }

  Peer Accepted() {
    Peer peer;
    EXPECT_TRUE(loop.RunUntil([&] { return (peer = far.Accept()) != nullptr; }));
    return peer;
  }

  PortHolder far;
};

TEST_F(OutgoingConnection, OrderIsReportedAndShownAndItsDataTravelsRawUntilABlockPasses1000Bytes) {
  StartOnline();
  ClusterSends(Order(far.Port()));
  ASSERT_TRUE(WaitSocket(2, SocketState::kConnecting));
  EXPECT_EQ(Row(2).address.colour, colours::kYellow);
  ASSERT_TRUE(WaitSocket(2, SocketState::kConnected));
  EXPECT_TRUE(ClusterGets(AA06(2, 1) + AA38(2)));
  EXPECT_EQ(Row(2).address.text + "|" + Row(2).port.text + "|" + Row(2).call.text,
            "127.0.0.1|" + N(far.Port()) + "|G1ABC");
  EXPECT_EQ(Row(2).address.colour, colours::kCyan);

  // Each block goes up whole, telnet commands and all, as AA03 until the cluster confirms it.
  auto far_side = Accepted();
  const std::string block = std::string("\xff\xfd\x18") + "DX de G4XYZ: 14025.0\r\nhalf";
  EXPECT_TRUE(SentUp(*far_side, block, Up({"AA03", "2", block})));
  ClusterSends(Down({"6", "2"}));
  ASSERT_TRUE(WaitState(2, StreamState::kLoggedIn));
  EXPECT_TRUE(SentUp(*far_side, "a\x03z", Up({"AA00", "2", "a\x02z"})));
  EXPECT_TRUE(SentDown(Down({"0", "2", "G4XYZ de G1ABC\r\n"}) + Down({"0", "2", "\xff\xfb\x01"}),
                       *far_side, "G4XYZ de G1ABC\r\n\xff\xfb\x01"));

  // 1,000 bytes are still a raw block; after one of 1,001 the input is assembled into lines.
  EXPECT_TRUE(SentUp(*far_side, std::string(1000, 'x'), Up({"AA00", "2", std::string(1000, 'x')})));
  const std::string big = std::string(999, 'y') + "\r\n";
  EXPECT_TRUE(SentUp(*far_side, big, Up({"AA00", "2", big})));
  far_side->Send("half");
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_TRUE(SentUp(*far_side, "\xff\xfb\x01 line\n", Up({"AA00", "2", "half line\r\n"})));
}

TEST_F(OutgoingConnection, OfflineOnlyTheAA38GoesUpAndARefusedOrUnreachableOneEndsAtOnce) {
  StartOffline();
  ConnectCluster(false);
  EXPECT_TRUE(SentDown(Order(far.Port()), *cluster, AA38(2)));  // offline: no AA06
  auto far_side = Accepted();
  ClusterSends("7261");
  ClusterGot();
  const std::string closed = N(far.Port());
  far.Release();  // nothing listens there now
  // No number at all is port 0, which cannot be reached either.
  for (const std::string& port : {closed, std::string("telnet")}) {
    ClusterSends(Down({"9", "G1ABC", "127.0.0.1", port}));
    const int id = Table().LastConnID() + 1;
    EXPECT_TRUE(ClusterGets(AA06(3, id) + Up({"AA17", "G1ABC", "3", "0"}))) << port;
    ASSERT_TRUE(WaitSocket(3, SocketState::kClosed));
    EXPECT_EQ(Row(3).call.colour, colours::kWhite);
    EXPECT_EQ(Row(3).port.text, port == "telnet" ? "0" : port);
  }
  EXPECT_EQ(ErrorLogText(), "");
  // Beyond 32 bits the order fails before it takes a stream or a connection number.
  ClusterSends(Down({"9", "G1ABC", "127.0.0.1", "99999999999"}));
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_EQ(ErrorLogLines(), 1u);
  EXPECT_NE(ErrorLogText().find(" ConnectOut Overflow\"\r\n"), std::string::npos);
  auto user = ConnectUser("127.0.0.2");
  EXPECT_TRUE(ClusterGets(Announced(3, "127.0.0.2", 4)));
}

TEST_F(OutgoingConnection, IsNeverTimedOutAndLeavesTheCurrentStreamAlone) {
  StartOnline();
  auto user = LoggedInUser("G4XYZ", "127.0.0.2");
  EXPECT_TRUE(SentDown(Down({"0", "2", "first "}) + Order(far.Port()), *user, "first "));
  EXPECT_TRUE(ClusterGets(AA06(3, 2) + AA38(3)));
  auto far_side = Accepted();
  loop.AdvanceMs(301000);
  EXPECT_TRUE(StillConnected(*far_side));
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_TRUE(SentDown("and more" + EOT, *user, "and more"));  // to the last stream named
}

}  // namespace
}  // namespace velgate::testing
