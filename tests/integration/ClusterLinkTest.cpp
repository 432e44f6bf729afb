// The cluster link: handshake, resync, its endings and how the receive loop takes what comes.

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class ClusterLinkTest : public GatewayFixture {
 protected:
  void SetUp() override { StartOffline({"\"PreLoad\",6"}); }
  bool Listening() {
    return loop.RunUntil([&] { return Link().Socket().State() == SocketState::kListening; });
  }
};

TEST_F(ClusterLinkTest, HandshakeThenResyncOfTheConnectedStreamsAndConsoleLinesOnlyOnline) {
  std::vector<Peer> users;
  for (int s = 2; s <= 6; ++s) users.push_back(ConnectUser("127.0.0." + N(s)));
  const char* calls[] = {"G1ABC", "G2ABC", "G3ABC", "G4ABC", "BAD^CALL"};
  const Colour port_colours[] = {colours::kGreen, colours::kCyan, colours::kYellow,
                                 colours::kLightPink, colours::kGreen};
  for (int s = 2; s <= 6; ++s) {
    Row(s).call.text = calls[s - 2];
    Row(s).port.colour = port_colours[s - 2];
  }
  Row(2).address_tip = "04-Dec-2026 1158Z";
  Row(7).call.text = "GONE";  // not connected: not listed

  ConnectCluster(false);
  EXPECT_TRUE(
      SentDown("ZQ Cluster", *cluster, "QRV 2026-12-04 12:00:00 3.02^" + folder.Path() + ETX));
  EXPECT_FALSE(TestPeer(cluster_port).Connected());  // a second server is refused
  gateway->ConsoleEnter(7, "G0ABC");
  EXPECT_EQ(ClusterGot(), "");
  // A call sign holding "^" is sent empty, and an empty call sign is "white".
  const std::string list =
      "AA01^2^7" + ETX + "AA38^G1ABC^2^2^127.0.0.2^green^04-Dec-2026 1158Z^1^1" + ETX +
      "AA38^G2ABC^3^2^127.0.0.3^cyan^^1^2" + ETX + "AA38^G3ABC^4^2^127.0.0.4^yellow^^1^3" + ETX +
      "AA38^G4ABC^5^2^127.0.0.5^white^^1^4" + ETX + "AA38^^6^2^127.0.0.6^white^^1^5" + ETX +
      "AA18^" + ETX;
  for (int ready = 0; ready < 2; ++ready) EXPECT_TRUE(SentDown("7261", *cluster, list));
  gateway->ConsoleEnter(7, "G0ABC");
  EXPECT_TRUE(ClusterGets("AA00^7^G0ABC\r\n" + ETX));
}

TEST_F(ClusterLinkTest, FailuresAreLoggedWithThePositionAndEveryKindOfCloseLeavesACleanLink) {
  ConnectCluster();
  ClusterSends(Down({"1", "4"}) + Down({"X", "4"}) + Down({"1", "x4"}) + Down({"1", "1"}) +
               Down({"1", "99999"}) + Down({"1"}) + Down({"9", "CALL"}));
  ASSERT_TRUE(loop.RunUntil([&] { return ErrorLogLines() >= 5; }));
  Settle();
  // A listener's index is no stream; a message of one field is text (no failure), not code 1.
  // A bad stream field is named as it came, not as the stream of the message before.
  const auto line = [](const std::string& what, int where, const std::string& stream = "4") {
    return "\"04-12-2026 1200Z VelgateCluster_DataArrival " + what + "  where = " + N(where) +
           " Stream = " + stream + "\"\r\n";
  };
  const std::string range = "Subscript out of range";
  EXPECT_EQ(ErrorLogText(), line("Type mismatch", 61) + line("Type mismatch", 64, "x4") +
                                line(range, 64, "1") + line(range, 64, "99999") + line(range, 62));

  ClusterSends("0" + ETX + "3" + ETX + "half a mess");
  ASSERT_TRUE(loop.RunUntil([&] { return !Link().RxHolding().empty(); }));
  cluster->Close();
  ASSERT_TRUE(Listening());
  ConnectCluster();  // the ready word is recognised: nothing was held over
  Link().Disconnect();
  EXPECT_TRUE(WaitClosed(*cluster));
  EXPECT_EQ(Link().Socket().State(), SocketState::kListening);
  ConnectCluster();
  cluster->Reset();
  EXPECT_TRUE(Listening());
}

TEST_F(ClusterLinkTest, OneFieldMessagesFollowTheStreamNamedBeforeAndOnlyTheOrderToEndStops) {
  ConnectCluster();
  auto first = LoggedInUser("G1AAA", "127.0.0.2");
  auto second = LoggedInUser("G1BBB", "127.0.0.3");
  auto waiting = ConnectUser("127.0.0.4");
  ClusterSends("X" + ETX + "3" + EOT + EOT + "10" + ETX + "xyz" + EOT + Down({"1", "3"}) +
               "first " + EOT + "sec");
  ASSERT_TRUE(loop.RunUntil([&] { return !Link().RxHolding().empty(); }));
  EXPECT_TRUE(SentDown("ond " + EOT, *second, "first second "));
  EXPECT_TRUE(SentDown(Down({"0", "2", "A"}) + "B" + EOT + Down({"1", "4"}) + "not yet" + EOT,
                       *first, "AB"));
  EXPECT_EQ(Settled(*waiting) + Settled(*second), "");
  EXPECT_EQ(ErrorLogLines(), 1u);
  EXPECT_FALSE(shut_down);

  // The order to end: nothing after it in the block is carried out, and nothing is saved.
  const std::string edited = folder.Read("Velgate.cfg").value() + "\"Unknown\",1\r\n";
  folder.Write("Velgate.cfg", edited);
  ClusterSends(Down({"1", "2"}) + Down({"10", "disconnect"}) + "too late" + EOT);
  ASSERT_TRUE(loop.RunUntil([&] { return shut_down; }));
  EXPECT_TRUE(WaitClosed(*first));
  EXPECT_EQ(first->Received(), "");
  EXPECT_EQ(folder.Read("Velgate.cfg"), edited);
}

}  // namespace
}  // namespace velgate::testing
