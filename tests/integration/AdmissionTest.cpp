// Admission: a user's connection becomes a stream, is shown, tested against the lock-outs and
// announced to the cluster, or told the cluster is offline.

#include <filesystem>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

using Admission = UserRoadFixture;

// AA02 names the first stream and the last one; then the AA03 of stream s.
std::string Announced(int first, int last, int s, const std::string& address,
                      const std::string& listener, int id) {
  return Up({"AA02", N(first), N(last)}) +
         Up({"AA03", "Connect Request", N(s), "3", address, listener, N(id)});
}

TEST_F(Admission, UsersAreAnnouncedShownAndTimedTheBridgeTooAndAFullTableGrowsByFive) {
  StartOnline({"\"PreLoad\",1", "\"AGWenabled\",1"});
  auto user = ConnectUser("127.0.0.2");
  ASSERT_EQ(LastStream(), 3);  // after the user and bridge listeners
  EXPECT_TRUE(ClusterGets(Announced(3, 3, 3, "127.0.0.2", "1", 1)));
  EXPECT_EQ(Row(3).address.text, "127.0.0.2");
  EXPECT_EQ(Row(3).address.colour, colours::kGreen);
  EXPECT_EQ(State(3), StreamState::kAnnounced);
  EXPECT_TRUE(Table().At(3).login_timer.Enabled());
  EXPECT_EQ(Settled(*user), "");
  auto bridge_user = ConnectUser("127.0.0.4", bridge_port);
  EXPECT_EQ(LastStream(), 4);
  EXPECT_EQ(Table().StreamMax(), 8);
  EXPECT_TRUE(ClusterGets(Announced(3, 8, 4, "AGW/BPQ", "2", 2)));
  EXPECT_EQ(Row(4).address.text, "AGW/BPQ");
  EXPECT_EQ(Row(4).address.colour, colours::kLightBlue);
}

TEST_F(Admission, NinthConnectionFromOneAddressIsServedTheTenthIsNot) {
  StartOnline();
  std::vector<std::unique_ptr<TestPeer>> users;
  for (int i = 0; i < 9; ++i) users.push_back(ConnectUser("127.0.0.9"));
  ClusterGot();
  TestPeer tenth(user_port, "127.0.0.9");
  ASSERT_TRUE(WaitClosed(tenth));
  EXPECT_EQ(tenth.Received(), "");
  EXPECT_EQ(Table().LastConnID(), 9);
  EXPECT_EQ(ClusterGot() + ErrorLogText(), "");

  // The listener goes on serving at once, and a stream that left no longer counts.
  auto other = ConnectUser("127.0.0.10");
  users[0]->Close();
  ASSERT_TRUE(WaitSocket(2, SocketState::kClosed));
  auto again = ConnectUser("127.0.0.9");
  EXPECT_EQ(Table().LastConnID(), 11);
}

TEST_F(Admission, LockedOutAddressesArePrefixesAndKeptSilent) {
  StartOnline({"\"Locked Out\",\"127.0.2.\""});
  auto refused = ConnectUser("127.0.2.7");
  EXPECT_EQ(Row(2).call.text, "IP Locked Out");
  EXPECT_EQ(Row(2).port.colour, colours::kLightPink);
  EXPECT_EQ(State(2), StreamState::kRefused);
  // The AA02 goes up before the test; nothing about the refused caller does.
  EXPECT_EQ(ClusterGot(), Up({"AA02", "2", "6"}));
  refused->Send("G1ABC\r\n");
  EXPECT_EQ(ClusterGot() + Settled(*refused), "");
  EXPECT_FALSE(refused->Closed());
  auto passed = ConnectUser("127.0.20.1");
  EXPECT_EQ(State(3), StreamState::kAnnounced);
}

TEST_F(Admission, ReusedSlotDoesNotInheritItsLastOccupantAndOfflineCallersAreTold) {
  StartOnline();
  {
    auto user = LoggedInUser("G1ABC", "127.0.0.2");
    gateway->View().MutableRow(2).address.tip = "04-Dec-2026 1200Z";
    user->Close();
    ASSERT_TRUE(WaitSocket(2, SocketState::kClosed));
  }
  cluster->Close();
  ASSERT_TRUE(loop.RunUntil([&] { return !gateway->Link().ClusterOnline(); }));
  // Offline: a notice, no announcement, and the stream waits.
  auto next = ConnectUser("127.0.0.3");
  ASSERT_EQ(LastStream(), 2);
  EXPECT_TRUE(UserGets(*next, "Cluster is offline.  Please try later.\r\n"));
  EXPECT_EQ(State(2), StreamState::kAccepted);
  EXPECT_EQ(Row(2).address.colour, colours::kYellow);
  EXPECT_EQ(Row(2).address.tip, "");
  ConnectCluster();
  next->Send("sh/dx\r\n");
  // Not logged in: its input goes up as AA03, never as a logged-in user's AA00.
  EXPECT_TRUE(ClusterGets(Up({"AA03", "2", "sh/dx\r\n"})));
}

TEST_F(Admission, HighwaterMarksRiseWithLoggedInUsersAndAnUnwritableFileIsLogged) {
  StartOnline();
  gateway->Monitor().Feed().SockState = SocketState::kConnected;
  auto first = LoggedInUser("G1ABC", "127.0.0.2");
  auto second = ConnectUser("127.0.0.3");
  EXPECT_EQ(gateway->View().Labels().Label4, " 1");
  EXPECT_EQ(folder.Read("highwater.dat"), "1,\"04-Dec-2026  12:00\"\r\n");
  EXPECT_EQ(Starting(MonitorQueue(), {"^ZQ9"}),
            (std::vector<std::string>{"^ZQ91^ 1^04-Dec-2026  12:00" + EOT,
                                      "^ZQ90^ 1^04-Dec-2026  12:00" + EOT}));

  std::filesystem::remove(folder.File("highwater.dat"));
  std::filesystem::create_directory(folder.File("highwater.dat"));
  ClusterSends(Down({"6", "3"}));
  ASSERT_TRUE(WaitState(3, StreamState::kLoggedIn));
  auto third = ConnectUser("127.0.0.4");
  EXPECT_EQ(State(4), StreamState::kAnnounced);
  EXPECT_EQ(gateway->Marks().AllTimeHigh, 2);
  EXPECT_NE(ErrorLogText().find(" UpdateHighwater "), std::string::npos);
}

}  // namespace
}  // namespace velgate::testing
