// Admission: a user's connection becomes a stream, is shown, tested against the lock-outs and
// announced to the cluster, or told the cluster is offline.

#include <gtest/gtest.h>

#include <filesystem>

#include "UserRoadFixture.h"

namespace velgate::testing {
namespace {

using Admission = UserRoadFixture;

TEST_F(Admission, UserIsAnnouncedShownAndTimed) {
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  const int s = LastStream();
  ASSERT_EQ(s, 2);

  EXPECT_EQ(ClusterWaitFor(40), Up({"AA02", "2", "6"}) + Up({"AA03", "Connect Request", "2", "3",
                                                             "127.0.0.2", "1", "1"}));
  EXPECT_EQ(Row(s).address.text, "127.0.0.2");
  EXPECT_EQ(Row(s).address.tag, "1");
  EXPECT_EQ(Row(s).address.colour, colours::kGreen);
  EXPECT_EQ(Row(s).port.colour, colours::kWhite);
  EXPECT_EQ(Row(s).call.text, "");
  EXPECT_EQ(Table().StreamState[2], 2);
  EXPECT_TRUE(Table().StreamLineMode[2]);
  EXPECT_TRUE(Table().tmrDisconnect[2].Enabled());
  EXPECT_EQ(gateway->View().Labels().lblIDnr, "1");
  EXPECT_EQ(Settled(*user), "");
}

TEST_F(Admission, OfflineClusterMeansANoticeAndNoAnnouncement) {
  StartOffline();
  auto user = ConnectUser("127.0.0.3");
  EXPECT_EQ(UserWaitFor(*user, 40), "Cluster is offline.  Please try later.\r\n");
  EXPECT_FALSE(user->Closed());
  EXPECT_EQ(Table().StreamState[2], 0);
  EXPECT_EQ(Row(2).address.colour, colours::kYellow);
}

TEST_F(Admission, NinthConnectionFromOneAddressIsServedTheTenthIsNot) {
  StartOnline();
  std::vector<std::unique_ptr<TestPeer>> users;
  for (int i = 0; i < 9; ++i) users.push_back(ConnectUser("127.0.0.9"));
  EXPECT_EQ(Table().LastConnID, 9);
  ClusterGot();

  TestPeer tenth(user_port, "127.0.0.9");
  ASSERT_TRUE(loop.RunUntil([&] {
    tenth.Pump();
    return tenth.Closed();
  }));
  EXPECT_EQ(tenth.Received(), "");
  EXPECT_EQ(Table().LastConnID, 9);
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_EQ(ErrorLogText(), "");

  // The listener goes on serving at once, and a stream that left no longer counts.
  auto other = ConnectUser("127.0.0.10");
  EXPECT_EQ(Table().LastConnID, 10);
  users[0]->Close();
  ASSERT_TRUE(loop.RunUntil([&] { return Table().Socket(2).State() == SocketState::kClosed; }));
  auto again = ConnectUser("127.0.0.9");
  EXPECT_EQ(Table().LastConnID, 11);
}

TEST_F(Admission, FullTableGrowsByFiveAndTellsTheCluster) {
  StartOnline({"\"PreLoad\",1"});
  auto first = ConnectUser("127.0.0.2");
  EXPECT_EQ(Table().StreamMax(), 2);
  ClusterGot();
  auto second = ConnectUser("127.0.0.3");
  EXPECT_EQ(LastStream(), 3);
  EXPECT_EQ(Table().StreamMax(), 7);
  EXPECT_EQ(ClusterWaitFor(9).substr(0, 9), Up({"AA02", "2", "7"}));
}

TEST_F(Admission, BridgeUsersShowAndAnnounceTheBridge) {
  StartOnline({"\"AGWenabled\",1", "\"AGWport\",\"" + std::to_string(bridge_port) + "\""});
  auto user = ConnectUser("127.0.0.4", bridge_port);
  const int s = LastStream();
  EXPECT_EQ(s, 3);
  EXPECT_TRUE(Table().StreamIsBridge[3]);
  EXPECT_EQ(Row(s).address.text, "AGW/BPQ");
  EXPECT_EQ(Row(s).address.colour, colours::kLightBlue);
  EXPECT_EQ(ClusterWaitFor(40), Up({"AA02", "3", "7"}) +
                                    Up({"AA03", "Connect Request", "3", "3", "AGW/BPQ", "2", "1"}));
}

TEST_F(Admission, LockedOutAddressesArePrefixesAndKeptSilent) {
  StartOnline({"\"Locked Out\",\"127.0.2.\""});
  auto refused = ConnectUser("127.0.2.7");
  const int s = LastStream();
  EXPECT_EQ(Row(s).call.text, "IP Locked Out");
  EXPECT_EQ(Row(s).call.colour, colours::kGreen);
  EXPECT_EQ(Row(s).port.colour, colours::kLightPink);
  EXPECT_EQ(Table().StreamState[static_cast<std::size_t>(s)], 9);
  // The AA02 goes up before the test; nothing about the refused caller does.
  EXPECT_EQ(ClusterGot(), Up({"AA02", "2", "6"}));
  refused->Send("G1ABC\r\n");
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_EQ(Settled(*refused), "");
  EXPECT_FALSE(refused->Closed());

  auto passed = ConnectUser("127.0.20.1");
  EXPECT_EQ(Table().StreamState[static_cast<std::size_t>(LastStream())], 2);
}

TEST_F(Admission, ReusedSlotDoesNotInheritItsLastOccupant) {
  StartOnline();
  {
    auto user = LoggedInUser("G1ABC", "127.0.0.2");
    ASSERT_EQ(Table().StreamState[2], 7);
    gateway->View().MutableRow(2).address.tip = "04-Dec-2026 1200Z";
    user->Close();
    ASSERT_TRUE(loop.RunUntil([&] { return Table().Socket(2).State() == SocketState::kClosed; }));
  }
  cluster->Close();
  ASSERT_TRUE(loop.RunUntil([&] { return !gateway->Link().ClusterOnline(); }));

  auto next = ConnectUser("127.0.0.3");
  ASSERT_EQ(LastStream(), 2);
  EXPECT_EQ(Table().StreamState[2], 0);
  EXPECT_EQ(Row(2).address.tip, "");
  ConnectCluster();
  next->Send("sh/dx\r\n");
  // Not logged in: its input goes up as AA03, never as a logged-in user's AA00.
  EXPECT_EQ(ClusterWaitFor(14), Up({"AA03", "2", "sh/dx\r\n"}));
}

TEST_F(Admission, HighwaterMarksRiseWithLoggedInUsers) {
  StartOnline();
  gateway->Monitor().SockState = 7;
  auto first = LoggedInUser("G1ABC", "127.0.0.2");
  auto second = ConnectUser("127.0.0.3");
  EXPECT_EQ(gateway->View().Labels().lblIn, "1");
  EXPECT_EQ(gateway->View().Labels().Label6, " 1");
  EXPECT_EQ(gateway->View().Labels().Label4, " 1");
  EXPECT_EQ(gateway->View().Labels().Label5Tip, "All-Time Highwater Mark (04-Dec-2026  12:00)");
  EXPECT_EQ(folder.Read("highwater.dat").value(), "1,\"04-Dec-2026  12:00\"\r\n");
  std::vector<std::string> queued;
  std::string message;
  while (gateway->Monitor().TakeNext(message)) queued.push_back(message);
  std::vector<std::string> marks;
  for (const std::string& m : queued) {
    if (m.rfind("^ZQ9", 0) == 0) marks.push_back(m);
  }
  EXPECT_EQ(marks, (std::vector<std::string>{"^ZQ91^ 1^04-Dec-2026  12:00\x04",
                                             "^ZQ90^ 1^04-Dec-2026  12:00\x04"}));
}

TEST_F(Admission, UnwritableHighwaterFileIsLoggedAndTheUserServed) {
  StartOnline();
  folder.Write("highwater.dat", "");
  std::filesystem::remove(folder.File("highwater.dat"));
  std::filesystem::create_directory(folder.File("highwater.dat"));
  auto first = LoggedInUser("G1ABC", "127.0.0.2");
  auto second = ConnectUser("127.0.0.3");
  EXPECT_EQ(Table().StreamState[static_cast<std::size_t>(LastStream())], 2);
  EXPECT_EQ(gateway->Marks().AllTimeHigh, 1);
  EXPECT_NE(ErrorLogText().find(" UpdateHighwater "), std::string::npos);
}

}  // namespace
}  // namespace velgate::testing
