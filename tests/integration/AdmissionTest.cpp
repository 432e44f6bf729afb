// Admission: a caller becomes a stream, is shown, tested and announced; the highwater marks.

#include <filesystem>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

using Admission = GatewayFixture;

TEST_F(Admission, UsersAreAnnouncedAndShownTheBridgeTooAndAFullTableGrowsByFive) {
  StartOnline({"\"PreLoad\",1", "\"AGWenabled\",1"});
  auto user = ConnectUser("127.0.0.2");
  EXPECT_TRUE(ClusterGets(Announced(3, "127.0.0.2", 1, "1", 3, 3)));  // after two listeners
  EXPECT_EQ(Row(3).address.text, "127.0.0.2");
  EXPECT_EQ(Row(3).address.colour, colours::kGreen);
  EXPECT_EQ(Settled(*user), "");
  auto bridge_user = ConnectUser("127.0.0.4", bridge_port);
  EXPECT_TRUE(ClusterGets(Announced(4, "AGW/BPQ", 2, "2", 3, 8)));
  EXPECT_EQ(Row(4).address.text, "AGW/BPQ");
  EXPECT_EQ(Row(4).address.colour, colours::kLightBlue);
}

TEST_F(Admission, NinthConnectionFromOneAddressIsServedTheTenthIsNotAndLockOutsArePrefixes) {
  StartOnline({"\"Locked Out\",\"127.0.2.\""});
  std::vector<Peer> users;
  for (int i = 0; i < 9; ++i) users.push_back(ConnectUser("127.0.0.9"));
  ClusterGot();
  TestPeer tenth(user_port, "127.0.0.9");
  ASSERT_TRUE(WaitClosed(tenth));
  EXPECT_EQ(tenth.Received() + ClusterGot() + ErrorLogText(), "");
  users[0]->Close();
  ASSERT_TRUE(WaitSocket(2, SocketState::kClosed));
  auto again = ConnectUser("127.0.0.9");
  EXPECT_TRUE(ClusterGets(Up({"AA17", "", "2", "1"}) + Announced(2, "127.0.0.9", 10, "1", 2, 11)));

  // Locked out: shown, kept and ignored; only the AA02 went up, before the test.
  auto refused = ConnectUser("127.0.2.7");
  EXPECT_EQ(Row(11).call.text, "IP Locked Out");
  EXPECT_EQ(Row(11).port.colour, colours::kLightPink);
  refused->Send("G1ABC\r\n");
  EXPECT_EQ(ClusterGot() + Settled(*refused), Up({"AA02", "2", "11"}));
  EXPECT_FALSE(refused->Closed());
  auto passed = ConnectUser("127.0.20.1");
  EXPECT_TRUE(ClusterGets(Announced(12, "127.0.20.1", 12, "1", 2, 16)));
}

TEST_F(Admission, ReusedSlotDoesNotInheritItsLastOccupantAndOfflineCallersAreTold) {
  StartOnline();
  {
    auto user = LoggedInUser("G1ABC", "127.0.0.2");
    Row(2).address_tip = "04-Dec-2026 1200Z";
    user->Close();
    ASSERT_TRUE(WaitSocket(2, SocketState::kClosed));
  }
  cluster->Close();
  ASSERT_TRUE(loop.RunUntil([&] { return !Link().ClusterOnline(); }));
  auto next = ConnectUser("127.0.0.3");
  EXPECT_TRUE(UserGets(*next, "Cluster is offline.  Please try later.\r\n"));
  EXPECT_EQ(Row(2).address.colour, colours::kYellow);
  EXPECT_EQ(Row(2).address_tip, "");
  // Never announced, never logged in: its input goes up as AA03 once the cluster is back.
  ConnectCluster();
  EXPECT_TRUE(SentUp(*next, "sh/dx\r\n", Up({"AA03", "2", "sh/dx\r\n"})));
}

TEST_F(Admission, HighwaterMarksRiseOnlyPastTheirHighestAndAnUnwritableFileIsLogged) {
  StartOnline();
  Feed().SockState = SocketState::kConnected;
  std::vector<Peer> users;
  for (int i = 2; i <= 6; ++i) users.push_back(LoggedInUser("G" + N(i), "127.0.0." + N(i)));
  MonitorQueue();
  // Counted at each connection request, before it: 5, then 3, then 5 again, then 6.
  auto waiting = ConnectUser("127.0.0.7");
  const std::string date = "04-Dec-2026  12:00";
  EXPECT_EQ(folder.Read("highwater.dat"), "5,\"" + date + "\"\r\n");
  EXPECT_EQ(MonitorQueue({"^ZQ9"}), (Texts{"^ZQ91^ 5^" + date + EOT, "^ZQ90^ 5^" + date + EOT}));
  folder.Write("highwater.dat", "marker");
  users[0]->Close();
  users[1]->Close();
  ASSERT_TRUE(WaitSocket(2, SocketState::kClosed) && WaitSocket(3, SocketState::kClosed));
  auto again = ConnectUser("127.0.0.8");
  SendsLogin(*waiting, 7, "G7");
  SendsLogin(*again, 2, "G8");
  ClusterSends(Down({"6", "7"}) + Down({"6", "2"}));
  ASSERT_TRUE(WaitState(7, StreamState::kLoggedIn) && WaitState(2, StreamState::kLoggedIn));
  auto third = ConnectUser("127.0.0.9");
  EXPECT_EQ(MonitorQueue({"^ZQ9"}), Texts{});
  EXPECT_EQ(folder.Read("highwater.dat"), "marker");

  std::filesystem::remove(folder.File("highwater.dat"));
  std::filesystem::create_directory(folder.File("highwater.dat"));
  SendsLogin(*third, 3, "G9");
  ClusterSends(Down({"6", "3"}));
  ASSERT_TRUE(WaitState(3, StreamState::kLoggedIn));
  auto fourth = ConnectUser("127.0.0.10");
  EXPECT_EQ(State(8), StreamState::kAnnounced);  // served all the same
  EXPECT_EQ(MonitorQueue({"^ZQ90"}), Texts{"^ZQ90^ 6^" + date + EOT});
  EXPECT_NE(ErrorLogText().find(" UpdateHighwater "), std::string::npos);
}

}  // namespace
}  // namespace velgate::testing
