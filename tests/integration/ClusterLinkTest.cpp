// The cluster link against a fake cluster server on loopback: handshake, resync, the link's
// states and the receive loop's handling of what the cluster sends.

#include <gtest/gtest.h>

#include "GatewayFixture.h"
#include "StreamSeeder.h"

namespace velgate::testing {
namespace {

const std::string ETX = "\x03";
const std::string EOT = "\x04";

class ClusterLinkTest : public GatewayFixture {
 protected:
  ClusterLinkTest() {
    folder.Write("Velgate.cfg", StandardConfig());
    Start();
  }

  std::unique_ptr<TestPeer> ConnectCluster() {
    auto cluster = std::make_unique<TestPeer>(cluster_port);
    EXPECT_TRUE(loop.RunUntil(
        [&] { return gateway->VelgateCluster().State() == SocketState::kConnected; }));
    return cluster;
  }

  // A cluster server that has greeted and gone online; what it received is forgotten.
  std::unique_ptr<TestPeer> OnlineCluster() {
    auto cluster = ConnectCluster();
    cluster->Send("7261");
    EXPECT_TRUE(loop.RunUntil([&] { return gateway->Link().ClusterOnline(); }));
    EXPECT_TRUE(cluster->WaitForBytes(loop, AA01Text().size() + 6));
    cluster->ClearReceived();
    return cluster;
  }

  std::string AA01Text() const {
    return "AA01^2^" + std::to_string(gateway->Streams().StreamMax()) + ETX;
  }

  // Whatever the peer has received after the loop had a chance to run.
  std::string Settled(TestPeer& peer) {
    loop.RunUntil([&] { return false; }, std::chrono::milliseconds(50));
    peer.Pump();
    return peer.Received();
  }

  StreamSeeder seeder{loop};
};

TEST_F(ClusterLinkTest, GreetingIsAnsweredWithTheQrvReply) {
  auto cluster = ConnectCluster();
  EXPECT_EQ(gateway->View().Labels().StatusColour, colours::kButtonFace);
  EXPECT_EQ(gateway->View().Labels().lblDate, "");
  cluster->Send("ZQ Cluster");
  const std::string expected = "QRV 2026-12-04 12:00:00 3.02^" + folder.Path() + ETX;
  ASSERT_TRUE(cluster->WaitForBytes(loop, expected.size()));
  EXPECT_EQ(cluster->Received(), expected);
  EXPECT_FALSE(gateway->Link().ClusterOnline());
}

TEST_F(ClusterLinkTest, ReadyWordWithNoStreamsGivesAA01ThenAA18) {
  auto cluster = ConnectCluster();
  cluster->Send("7261");
  const std::string expected = "AA01^2^6" + ETX + "AA18^" + ETX;
  ASSERT_TRUE(cluster->WaitForBytes(loop, expected.size()));
  EXPECT_EQ(Settled(*cluster), expected);
  EXPECT_TRUE(gateway->Link().ClusterOnline());
}

TEST_F(ClusterLinkTest, ResyncListsConnectedStreamsByteForByte) {
  StreamTable& table = gateway->Streams();
  auto user3 = seeder.Connect(*gateway, 3, "127.0.0.3");
  auto user5 = seeder.Connect(*gateway, 5, "127.0.0.5");
  auto user6 = seeder.Connect(*gateway, 6, "127.0.0.6");
  {
    StatusRow& row = gateway->View().MutableRow(3);
    row.call.text = "G1ABC";
    row.port.colour = colours::kYellow;
    row.address = DisplayField{"127.0.0.3", "1", "04-Dec-2026 1158Z", colours::kGreen};
    table.StreamConnID[3] = 7;
  }
  {
    // A call sign holding "^" is sent empty, and an empty call sign is "white".
    StatusRow& row = gateway->View().MutableRow(5);
    row.call.text = "BAD^CALL";
    row.port.colour = colours::kCyan;
    row.address = DisplayField{"AGW/BPQ", "2", "", colours::kWhite};
    table.StreamConnID[5] = 8;
  }
  {
    StatusRow& row = gateway->View().MutableRow(6);
    row.call.text = "K1TTT";
    row.port.colour = colours::kLightPink;
    row.address = DisplayField{"host.example", "0", "", colours::kCyan};
    table.StreamConnID[6] = 9;
  }
  // A row whose stream is not connected is not listed, whatever it shows.
  gateway->View().MutableRow(4).call.text = "GONE";

  auto cluster = ConnectCluster();
  cluster->Send("7261");
  const std::string list = "AA01^2^6" + ETX +
                           "AA38^G1ABC^3^2^127.0.0.3^yellow^04-Dec-2026 1158Z^1^7" + ETX +
                           "AA38^^5^2^AGW/BPQ^white^^2^8" + ETX +
                           "AA38^K1TTT^6^2^host.example^white^^0^9" + ETX + "AA18^" + ETX;
  ASSERT_TRUE(cluster->WaitForBytes(loop, list.size()));
  EXPECT_EQ(cluster->Received(), list);

  // The ready word again: the whole list again.
  cluster->Send("7261");
  ASSERT_TRUE(cluster->WaitForBytes(loop, 2 * list.size()));
  EXPECT_EQ(Settled(*cluster), list + list);
}

TEST_F(ClusterLinkTest, ColourWordFollowsThePortFieldsColour) {
  auto user = seeder.Connect(*gateway, 2);
  gateway->View().MutableRow(2).call.text = "G1ABC";
  gateway->View().MutableRow(2).address.tag = "1";
  for (auto [colour, word] :
       std::vector<std::pair<Colour, std::string>>{{colours::kGreen, "green"},
                                                   {colours::kCyan, "cyan"},
                                                   {colours::kYellow, "yellow"},
                                                   {colours::kWhite, "white"}}) {
    gateway->View().MutableRow(2).port.colour = colour;
    auto cluster = ConnectCluster();
    cluster->Send("7261");
    const std::string line = "AA38^G1ABC^2^2^^" + word + "^^1^0" + ETX;
    ASSERT_TRUE(cluster->WaitForBytes(loop, AA01Text().size() + line.size() + 6));
    EXPECT_EQ(cluster->Received(), AA01Text() + line + "AA18^" + ETX) << word;
    gateway->Link().Disconnect();
  }
}

TEST_F(ClusterLinkTest, SecondClusterServerIsNotAcceptedWhileOneIsConnected) {
  auto cluster = ConnectCluster();
  TestPeer second(cluster_port);
  EXPECT_FALSE(second.Connected());
  EXPECT_FALSE(PortAnswers(cluster_port));
}

TEST_F(ClusterLinkTest, CloseDiscAndErrorReturnToListeningInTheirColours) {
  auto cluster = OnlineCluster();
  cluster->Close();
  ASSERT_TRUE(
      loop.RunUntil([&] { return gateway->VelgateCluster().State() == SocketState::kListening; }));
  EXPECT_FALSE(gateway->Link().ClusterOnline());
  EXPECT_FALSE(gateway->Link().ClusterConnected());
  EXPECT_EQ(gateway->View().Labels().StatusColour, colours::kYellow);

  cluster = OnlineCluster();
  gateway->Link().Disconnect();
  EXPECT_TRUE(cluster->WaitForBytes(loop, 1) || cluster->Closed());
  EXPECT_TRUE(cluster->Closed());
  EXPECT_EQ(gateway->VelgateCluster().State(), SocketState::kListening);
  EXPECT_EQ(gateway->View().Labels().StatusColour, colours::kYellow);

  cluster = OnlineCluster();
  cluster->Reset();
  ASSERT_TRUE(
      loop.RunUntil([&] { return gateway->VelgateCluster().State() == SocketState::kListening; }));
  EXPECT_EQ(gateway->View().Labels().StatusColour, colours::kRed);
  EXPECT_FALSE(gateway->Link().ClusterOnline());
  EXPECT_TRUE(PortAnswers(cluster_port));
}

TEST_F(ClusterLinkTest, NewLinkStartsCleanAfterADropInTheMiddleOfAMessage) {
  auto cluster = OnlineCluster();
  cluster->Send("0" + ETX + "3" + ETX + "half a mess");
  ASSERT_TRUE(loop.RunUntil([&] { return !gateway->Link().RxHolding().empty(); }));
  cluster->Close();
  ASSERT_TRUE(
      loop.RunUntil([&] { return gateway->VelgateCluster().State() == SocketState::kListening; }));

  auto next = ConnectCluster();
  next->Send("ZQ Cluster");
  ASSERT_TRUE(next->WaitForBytes(loop, 4));
  EXPECT_EQ(next->Received().substr(0, 4), "QRV ");
  next->Send("7261");
  ASSERT_TRUE(loop.RunUntil([&] { return gateway->Link().ClusterOnline(); }));
}

TEST_F(ClusterLinkTest, FailureLinesNameThePositionAndTheCurrentStream) {
  auto cluster = OnlineCluster();
  cluster->Send("1" + ETX + "4" + EOT + "X" + ETX + "4" + EOT + "1" + ETX + "x4" + EOT + "1" + ETX +
                "1" + EOT + "1" + ETX + "99999" + EOT + "1" + EOT + "9" + ETX + "CALL" + EOT);
  ASSERT_TRUE(loop.RunUntil([&] { return ErrorLogLines() >= 5; }));
  Settled(*cluster);
  const std::string stamp = "\"04-12-2026 1200Z VelgateCluster_DataArrival ";
  EXPECT_EQ(ErrorLogText(), stamp + "Type mismatch  where = 61 Stream = 4\"\r\n" + stamp +
                                "Type mismatch  where = 64 Stream = 4\"\r\n" +
                                // A listener's index is not a stream.
                                stamp + "Subscript out of range  where = 64 Stream = 4\"\r\n" +
                                stamp + "Subscript out of range  where = 64 Stream = 4\"\r\n" +
                                // A one-field message is text, not a coded one: no failure.
                                stamp + "Subscript out of range  where = 62 Stream = 4\"\r\n");
  EXPECT_EQ(gateway->Link().CurrentStream(), 4);
  EXPECT_EQ(gateway->VelgateCluster().State(), SocketState::kConnected);
}

TEST_F(ClusterLinkTest, MessagesAfterABadOneAndTheHeldTailAreStillHandled) {
  auto user = seeder.Connect(*gateway, 3);
  gateway->Streams().StreamState[3] = 7;
  auto cluster = OnlineCluster();
  cluster->Send("X" + ETX + "3" + EOT + EOT + "10" + ETX + "xyz" + EOT + "1" + ETX + "3" + EOT +
                "first " + EOT + "sec");
  cluster->Send("ond " + EOT);
  ASSERT_TRUE(loop.RunUntil([&] { return gateway->Link().RxHolding().empty(); }));
  cluster->Send("third" + EOT);
  ASSERT_TRUE(user->WaitForBytes(loop, 17));
  EXPECT_EQ(Settled(*user), "first second third");
  EXPECT_EQ(ErrorLogLines(), 1u);
  EXPECT_FALSE(shut_down);
}

TEST_F(ClusterLinkTest, OneFieldMessageReachesOnlyALoggedInCurrentStream) {
  auto user = seeder.Connect(*gateway, 3);
  auto cluster = OnlineCluster();
  cluster->Send("1" + ETX + "3" + EOT + "not yet" + EOT);
  EXPECT_EQ(Settled(*user), "");
  gateway->Streams().StreamState[3] = 7;
  cluster->Send("now" + EOT);
  ASSERT_TRUE(user->WaitForBytes(loop, 3));
  EXPECT_EQ(user->Received(), "now");
}

TEST_F(ClusterLinkTest, DisconnectOrderEndsTheGatewayWithoutSavingAndStopsTheBlock) {
  auto user = seeder.Connect(*gateway, 3);
  gateway->Streams().StreamState[3] = 7;
  std::string edited = folder.Read("Velgate.cfg").value() + "\"Unknown\",1\r\n";
  folder.Write("Velgate.cfg", edited);
  auto cluster = OnlineCluster();
  cluster->Send("1" + ETX + "3" + EOT + "10" + ETX + "disconnect" + EOT + "too late" + EOT);
  ASSERT_TRUE(loop.RunUntil([&] { return shut_down; }));
  EXPECT_EQ(Settled(*user), "");
  EXPECT_TRUE(user->Closed());
  EXPECT_EQ(folder.Read("Velgate.cfg").value(), edited);
}

TEST_F(ClusterLinkTest, ConsoleLineReachesTheClusterOnlyWhileOnline) {
  auto cluster = ConnectCluster();
  gateway->ConsoleEnter(7, "G0ABC");
  EXPECT_EQ(Settled(*cluster), "");
  cluster->Send("7261");
  ASSERT_TRUE(loop.RunUntil([&] { return gateway->Link().ClusterOnline(); }));
  cluster->ClearReceived();
  Settled(*cluster);
  cluster->ClearReceived();
  gateway->ConsoleEnter(7, "G0ABC");
  const std::string expected = "AA00^7^G0ABC\r\n" + ETX;
  ASSERT_TRUE(cluster->WaitForBytes(loop, expected.size()));
  EXPECT_EQ(cluster->Received(), expected);
}

}  // namespace
}  // namespace velgate::testing
