// The cluster link against a fake cluster server on loopback: handshake, resync, the link's
// states and the receive loop's handling of what the cluster sends.

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class ClusterLinkTest : public UserRoadFixture {
 protected:
  void SetUp() override { StartOffline({"\"PreLoad\",6"}); }

  bool Listening() {
    return loop.RunUntil(
        [&] { return gateway->Link().Socket().State() == SocketState::kListening; });
  }
  Colour StatusColour() { return gateway->View().Labels().StatusColour; }
};

TEST_F(ClusterLinkTest, HandshakeAndConsoleLinesOnlyWhileOnlineAndASecondServerIsRefused) {
  ConnectCluster(false);
  ClusterSends("ZQ Cluster");
  EXPECT_TRUE(ClusterGets("QRV 2026-12-04 12:00:00 3.02^" + folder.Path() + ETX));
  EXPECT_FALSE(TestPeer(cluster_port).Connected());
  gateway->ConsoleEnter(7, "G0ABC");
  EXPECT_EQ(ClusterGot(), "");
  ClusterSends("7261");
  EXPECT_TRUE(ClusterGets("AA01^2^7" + ETX + "AA18^" + ETX));
  EXPECT_TRUE(gateway->Link().ClusterOnline());
  gateway->ConsoleEnter(7, "G0ABC");
  EXPECT_TRUE(ClusterGets("AA00^7^G0ABC\r\n" + ETX));
}

TEST_F(ClusterLinkTest, ResyncListsConnectedStreamsWithTheirColourWords) {
  const std::pair<const char*, Colour> shown[] = {{"G1ABC", colours::kGreen},
                                                  {"G2ABC", colours::kCyan},
                                                  {"G3ABC", colours::kYellow},
                                                  {"G4ABC", colours::kLightPink},
                                                  {"BAD^CALL", colours::kGreen}};
  std::vector<std::unique_ptr<TestPeer>> users;
  for (int s = 2; s <= 6; ++s) {
    users.push_back(ConnectUser("127.0.0." + N(s)));
    StatusRow& row = gateway->View().MutableRow(s);
    row.call.text = shown[s - 2].first;
    row.port.colour = shown[s - 2].second;
  }
  gateway->View().MutableRow(2).address.tip = "04-Dec-2026 1158Z";
  gateway->View().MutableRow(7).call.text = "GONE";  // not connected: not listed

  ConnectCluster(false);
  ClusterSends("7261");
  // A call sign holding "^" is sent empty, and an empty call sign is "white".
  const std::string list =
      "AA01^2^7" + ETX + "AA38^G1ABC^2^2^127.0.0.2^green^04-Dec-2026 1158Z^1^1" + ETX +
      "AA38^G2ABC^3^2^127.0.0.3^cyan^^1^2" + ETX + "AA38^G3ABC^4^2^127.0.0.4^yellow^^1^3" + ETX +
      "AA38^G4ABC^5^2^127.0.0.5^white^^1^4" + ETX + "AA38^^6^2^127.0.0.6^white^^1^5" + ETX +
      "AA18^" + ETX;
  EXPECT_TRUE(ClusterGets(list));
  ClusterSends("7261");
  EXPECT_TRUE(ClusterGets(list));
}

TEST_F(ClusterLinkTest, CloseDiscAndErrorReturnToListeningInTheirColoursAndTheNextLinkIsClean) {
  ConnectCluster();
  ClusterSends("0" + ETX + "3" + ETX + "half a mess");
  ASSERT_TRUE(loop.RunUntil([&] { return !gateway->Link().RxHolding().empty(); }));
  cluster->Close();
  ASSERT_TRUE(Listening());
  EXPECT_FALSE((gateway->Link().State() != LinkState::kListening));
  EXPECT_EQ(StatusColour(), colours::kYellow);

  ConnectCluster();  // the ready word is recognised: nothing was held over
  EXPECT_EQ(StatusColour(), colours::kButtonFace);
  gateway->Link().Disconnect();
  EXPECT_TRUE(WaitClosed(*cluster));
  EXPECT_EQ(gateway->Link().Socket().State(), SocketState::kListening);
  EXPECT_EQ(StatusColour(), colours::kYellow);

  ConnectCluster();
  cluster->Reset();
  ASSERT_TRUE(Listening());
  EXPECT_EQ(StatusColour(), colours::kRed);
  EXPECT_FALSE(gateway->Link().ClusterOnline());
}

TEST_F(ClusterLinkTest, FailureLinesNameThePositionAndTheCurrentStream) {
  ConnectCluster();
  ClusterSends(Down({"1", "4"}) + Down({"X", "4"}) + Down({"1", "x4"}) + Down({"1", "1"}) +
               Down({"1", "99999"}) + Down({"1"}) + Down({"9", "CALL"}));
  ASSERT_TRUE(loop.RunUntil([&] { return ErrorLogLines() >= 5; }));
  Settle();
  const std::string stamp = "\"04-12-2026 1200Z VelgateCluster_DataArrival ";
  EXPECT_EQ(ErrorLogText(), stamp + "Type mismatch  where = 61 Stream = 4\"\r\n" + stamp +
                                "Type mismatch  where = 64 Stream = 4\"\r\n" +
                                // A listener's index is not a stream.
                                stamp + "Subscript out of range  where = 64 Stream = 4\"\r\n" +
                                stamp + "Subscript out of range  where = 64 Stream = 4\"\r\n" +
                                // A one-field message is text, not a coded one: no failure.
                                stamp + "Subscript out of range  where = 62 Stream = 4\"\r\n");
  EXPECT_EQ(gateway->Link().CurrentStream(), 4);
  EXPECT_EQ(gateway->Link().Socket().State(), SocketState::kConnected);
}

TEST_F(ClusterLinkTest, OneFieldMessagesGoToTheStreamNamedBeforeAndBadOnesStopNothing) {
  ConnectCluster();
  auto first = LoggedInUser("G1AAA", "127.0.0.2");
  auto second = LoggedInUser("G1BBB", "127.0.0.3");
  auto waiting = ConnectUser("127.0.0.4");
  ClusterSends("X" + ETX + "3" + EOT + EOT + "10" + ETX + "xyz" + EOT + Down({"1", "3"}) +
               "first " + EOT + "sec");
  ASSERT_TRUE(loop.RunUntil([&] { return !gateway->Link().RxHolding().empty(); }));
  ClusterSends("ond " + EOT);
  EXPECT_TRUE(UserGets(*second, "first second "));
  // Only to a logged-in stream.
  ClusterSends(Down({"0", "2", "A"}) + "B" + EOT + Down({"1", "4"}) + "not yet" + EOT);
  EXPECT_TRUE(UserGets(*first, "AB"));
  EXPECT_EQ(Settled(*waiting) + Settled(*second), "");
  EXPECT_EQ(ErrorLogLines(), 1u);
  EXPECT_FALSE(shut_down);
}

TEST_F(ClusterLinkTest, DisconnectOrderEndsTheGatewayWithoutSavingAndStopsTheBlock) {
  ConnectCluster();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  const std::string edited = folder.Read("Velgate.cfg").value() + "\"Unknown\",1\r\n";
  folder.Write("Velgate.cfg", edited);
  ClusterSends(Down({"1", "2"}) + Down({"10", "disconnect"}) + "too late" + EOT);
  ASSERT_TRUE(loop.RunUntil([&] { return shut_down; }));
  EXPECT_TRUE(WaitClosed(*user));
  EXPECT_EQ(user->Received(), "");
  EXPECT_EQ(folder.Read("Velgate.cfg"), edited);
}

}  // namespace
}  // namespace velgate::testing
