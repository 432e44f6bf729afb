// User input: the login line with its editing, the lines of a logged-in user, nuisance callers
// and the bytes real telnet clients send.

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class UserInput : public UserRoadFixture {
 protected:
  void SetUp() override { StartOnline(); }

  // A connected user whose connect messages the cluster has already had.
  std::unique_ptr<TestPeer> AnnouncedUser(const std::string& source = "127.0.0.2") {
    auto user = ConnectUser(source);
    ClusterWaitFor(40);
    return user;
  }
};

TEST_F(UserInput, LoginLineIsEditedShownAndSentOnceEndingAtTheFirstKindOfLineEnd) {
  auto user = AnnouncedUser();
  user->Send("ab\bc");
  Settle();
  EXPECT_EQ(Row(2).call.text, "ac");
  EXPECT_EQ(ClusterGot(), "");
  user->Send("\r\nsh/dx\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA03", "2", "ac"})));
  EXPECT_EQ(Row(2).call.colour, colours::kGreen);
  EXPECT_EQ(State(2), StreamState::kLoginSent);
  // Only one line is taken per event; the rest waits for the next block.
  user->Send("\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA03", "2", "sh/dx\r\n\r\n"})));

  // CR LF is tried first anywhere in the text, then LF CR, then LF, then CR.
  const std::pair<std::string, std::string> cases[] = {{"x\ry\r\n", "x\ry"},
                                                       {"a\n\rb\n", "a"},
                                                       {"a\rb\n", "a\rb"},
                                                       {"call\r", "call"},
                                                       {"\b\bG1\bABC\n", "GABC"}};
  int n = 0;
  for (const auto& [typed, login] : cases) {
    auto caller = AnnouncedUser("127.0.1." + N(++n));
    caller->Send(typed);
    EXPECT_TRUE(ClusterGets(Up({"AA03", N(LastStream()), login}))) << typed;
  }
}

TEST_F(UserInput, LoggedInLinesEndInCrLfAndUserTextNeverEndsALinkMessage) {
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  for (const std::string ending : {"\r", "\n", "\n\r", "\r\n"}) {
    user->Send("sh/dx" + ending);
    EXPECT_TRUE(ClusterGets(Up({"AA00", "2", "sh/dx\r\n"})));
  }
  // Without a line end the text waits for one; two lines in a block go up as one message.
  user->Send("sh/");
  EXPECT_EQ(ClusterGot(), "");
  user->Send("wwv\r\nb\x03\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA00", "2", "sh/wwv\r\nb\x02\r\n"})));
  auto waiting = AnnouncedUser("127.0.0.3");
  waiting->Send("G1\x03X\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA03", "3", "G1\x02X"})));
}

TEST_F(UserInput, NuisanceCallersAreSilencedAndLockedOut) {
  int n = 0;
  for (const std::string first : {"GET / HTTP/1.1\r\n", "TEAMLUC\r\n", "Demo user\r\n"}) {
    auto caller = AnnouncedUser("127.0.3." + N(++n));
    const int s = LastStream();
    caller->Send(first);
    Settle();
    EXPECT_EQ(State(s), StreamState::kRefused) << first;
    EXPECT_EQ(Row(s).call.colour, colours::kRed);
    caller->Send("more\r\n");
    EXPECT_EQ(ClusterGot() + Settled(*caller), "");
  }
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

TEST_F(UserInput, PuttyAndCharacterModeClientsSendOnlyTheirText) {
  auto user = AnnouncedUser();
  user->Send(std::string("\xFF\xFB\x1F\xFF\xFB\x20\xFF\xFB\x18\xFF\xFB\x27\xFF\xFD\x01\xFF\xFB\x03"
                         "\xFF\xFD\x03",
                         21) +
             "G1ABC\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA03", "2", "G1ABC"})));
  EXPECT_EQ(Row(2).call.text, "G1ABC");

  auto typist = LoggedInUser("G1ABC", "127.0.0.3");
  typist->Send(std::string("\xFF\xFD\x03\xFF\xFD\x01sh/dx\r\0", 13));
  EXPECT_TRUE(ClusterGets(Up({"AA00", "3", "sh/dx\r\n"})));
  // The NUL of a CR that ended the last block is dropped too; a command cut between two blocks
  // is completed from the next one.
  typist->Send("sh/wwv\r");
  EXPECT_TRUE(ClusterGets(Up({"AA00", "3", "sh/wwv\r\n"})));
  typist->Send(std::string("\0bye\r\0\xFF", 7));
  EXPECT_TRUE(ClusterGets(Up({"AA00", "3", "bye\r\n"})));
  typist->Send(
      "\xFB\x18"
      "dx\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA00", "3", "dx\r\n"})));
}

}  // namespace
}  // namespace velgate::testing
