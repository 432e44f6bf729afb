// User input: the login line with its editing, the lines of a logged-in user, nuisance callers
// and the bytes real telnet clients send.

#include <gtest/gtest.h>

#include "UserRoadFixture.h"

namespace velgate::testing {
namespace {

class UserInput : public UserRoadFixture {
 protected:
  void SetUp() override { StartOnline(); }

  // A connected, announced user whose connect messages the cluster has already had.
  std::unique_ptr<TestPeer> AnnouncedUser(const std::string& source = "127.0.0.2") {
    auto user = ConnectUser(source);
    ClusterWaitFor(40);
    return user;
  }
};

TEST_F(UserInput, LoginLineIsEditedShownAndSentOnce) {
  auto user = AnnouncedUser();
  user->Send("ab\bc");
  Settle();
  EXPECT_EQ(Row(2).call.text, "ac");
  EXPECT_EQ(Row(2).call.colour, colours::kYellow);
  EXPECT_EQ(ClusterGot(), "");

  user->Send("\r\nsh/dx\r\n");
  EXPECT_EQ(ClusterWaitFor(10), Up({"AA03", "2", "ac"}));
  EXPECT_EQ(Row(2).call.text, "ac");
  EXPECT_EQ(Row(2).call.colour, colours::kGreen);
  EXPECT_EQ(Row(2).port.colour, colours::kYellow);
  EXPECT_EQ(Table().StreamState[2], 3);
  // Only one line is taken per event; the rest waits for the next block.
  user->Send("\r\n");
  EXPECT_EQ(ClusterWaitFor(15), Up({"AA03", "2", "sh/dx\r\n\r\n"}));
}

TEST_F(UserInput, LoginLineEndsAtTheFirstKindOfLineEndThatOccurs) {
  struct Case {
    std::string typed;
    std::string login;
  };
  // CR LF is tried first anywhere in the text, then LF CR, then LF, then CR.
  const std::vector<Case> cases = {
      {"x\ry\r\n", "x\ry"}, {"a\n\rb\n", "a"},         {"a\rb\n", "a\rb"},
      {"call\r", "call"},   {"\b\bG1\bABC\n", "GABC"},
  };
  int n = 0;
  for (const Case& c : cases) {
    auto user = AnnouncedUser("127.0.1." + std::to_string(++n));
    const int s = LastStream();
    user->Send(c.typed);
    EXPECT_EQ(ClusterWaitFor(6), Up({"AA03", std::to_string(s), c.login})) << c.typed;
  }
}

TEST_F(UserInput, LoggedInLinesEndInCrLfWhateverTheUserSent) {
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  const std::string expected = Up({"AA00", "2", "sh/dx\r\n"});
  for (const std::string ending : {"\r", "\n", "\n\r", "\r\n"}) {
    user->Send("sh/dx" + ending);
    EXPECT_EQ(ClusterWaitFor(expected.size()), expected);
  }
  // Without a line end the text waits for one, however many blocks that takes.
  user->Send("sh/");
  EXPECT_EQ(ClusterGot(), "");
  user->Send("wwv\r");
  EXPECT_EQ(ClusterWaitFor(14), Up({"AA00", "2", "sh/wwv\r\n"}));
}

TEST_F(UserInput, TwoLinesInOneBlockGoUpAsOneMessage) {
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  user->Send("a\r\nb\r\n");
  EXPECT_EQ(ClusterWaitFor(13), Up({"AA00", "2", "a\r\nb\r\n"}));
}

TEST_F(UserInput, UserTextNeverEndsALinkMessage) {
  auto user = AnnouncedUser();
  user->Send("G1\x03X\r\n");
  EXPECT_EQ(ClusterWaitFor(12), Up({"AA03", "2", "G1\x02X"}));
  ClusterSends(Down({"6", "2"}));
  ASSERT_TRUE(loop.RunUntil([&] { return Table().StreamState[2] == 7; }));
  user->Send(
      "a\x03"
      "b\r\n");
  EXPECT_EQ(ClusterWaitFor(13), Up({"AA00", "2",
                                    "a\x02"
                                    "b\r\n"}));
}

TEST_F(UserInput, NuisanceCallersAreSilencedAndLockedOut) {
  int n = 0;
  for (const std::string first : {"GET / HTTP/1.1\r\n", "TEAMLUC\r\n", "Demo user\r\n"}) {
    auto caller = AnnouncedUser("127.0.3." + std::to_string(++n));
    const int s = LastStream();
    caller->Send(first);
    Settle();
    EXPECT_EQ(Table().StreamState[static_cast<std::size_t>(s)], 9) << first;
    EXPECT_EQ(Row(s).call.colour, colours::kRed);
    EXPECT_EQ(Row(s).port.colour, colours::kLightPink);
    EXPECT_EQ(ClusterGot(), "");
    caller->Send("more\r\n");
    EXPECT_EQ(ClusterGot(), "");
    EXPECT_EQ(Settled(*caller), "");
  }
  EXPECT_EQ(gateway->CurrentSettings().LockOutCount, 3);
  // The address is refused from the next connection on, and the list reaches the file on quit.
  auto next = ConnectUser("127.0.3.2");
  EXPECT_EQ(Row(LastStream()).call.text, "IP Locked Out");
  gateway->CloseByUser();
  EXPECT_NE(folder.Read("Velgate.cfg")
                .value()
                .find("\"Locked Out\",\"127.0.3.1\"\r\n\"Locked Out\",\"127.0.3.2\"\r\n"
                      "\"Locked Out\",\"127.0.3.3\"\r\n"),
            std::string::npos);
}

TEST_F(UserInput, PuttyNegotiationIsNotPartOfTheLogin) {
  auto user = AnnouncedUser();
  user->Send(std::string("\xFF\xFB\x1F\xFF\xFB\x20\xFF\xFB\x18\xFF\xFB\x27\xFF\xFD\x01\xFF\xFB\x03"
                         "\xFF\xFD\x03",
                         21) +
             "G1ABC\r\n");
  EXPECT_EQ(ClusterWaitFor(12), Up({"AA03", "2", "G1ABC"}));
  EXPECT_EQ(Row(2).call.text, "G1ABC");
}

TEST_F(UserInput, CharacterModeClientsLinesEndWithoutTheNul) {
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  user->Send(
      std::string("\xFF\xFD\x03\xFF\xFD\x01"
                  "sh/dx\r\0",
                  13));
  EXPECT_EQ(ClusterWaitFor(14), Up({"AA00", "2", "sh/dx\r\n"}));
  // The NUL of a CR that ended the last block is dropped too, and the next line still goes.
  user->Send("sh/wwv\r");
  EXPECT_EQ(ClusterWaitFor(15), Up({"AA00", "2", "sh/wwv\r\n"}));
  user->Send(std::string("\0bye\r\0", 6));
  EXPECT_EQ(ClusterWaitFor(12), Up({"AA00", "2", "bye\r\n"}));
  // A command cut between two blocks is completed from the next one.
  user->Send(std::string("\xFF", 1));
  Settle();
  user->Send(
      std::string("\xFB\x18"
                  "dx\r\n",
                  6));
  EXPECT_EQ(ClusterWaitFor(11), Up({"AA00", "2", "dx\r\n"}));
}

TEST_F(UserInput, InputOfAStreamNotLoggedInRestartsItsPeriodButNotItsCount) {
  auto user = AnnouncedUser();
  loop.AdvanceMs(12000);
  EXPECT_EQ(Table().StreamIdleTicks[2], 2);
  user->Send("G1");
  Settle();
  loop.AdvanceMs(4999);
  EXPECT_EQ(Table().StreamIdleTicks[2], 2);
  loop.AdvanceMs(1);
  EXPECT_EQ(Table().StreamIdleTicks[2], 3);
}

}  // namespace
}  // namespace velgate::testing
