// User input: the login line, a logged-in user's lines with telnet bytes, nuisance callers.

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class UserInput : public GatewayFixture {
 protected:
  void SetUp() override { StartOnline(); }

  Peer AnnouncedUser(const std::string& source = "127.0.0.2") {
    auto user = ConnectUser(source);
    UserWaitFor(*cluster, 40);
    return user;
  }
};

TEST_F(UserInput, LoginLineIsEditedShownAndSentOnceEndingAtTheFirstKindOfLineEnd) {
  auto user = AnnouncedUser();
  FeedOn(2);
  for (const char* typed : {"X", "\b", "ab\bc"}) {  // the first character rubbed out too
    user->Send(typed);
    Settle();
  }
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_TRUE(SentUp(*user, "\r\nsh/dx\r\n", Up({"AA03", "2", "ac"})));
  EXPECT_EQ(MonitorQueue(), (Texts{"^ZQ60^2^6^ac" + EOT, "^ZQ60^2^7^65280" + EOT}));
  // Only one line is taken per event; the rest waits for the next block.
  EXPECT_TRUE(SentUp(*user, "\r\n", Up({"AA03", "2", "sh/dx\r\n\r\n"})));

  // CR LF is tried first anywhere in the text, then LF CR, then LF, then CR; telnet commands go.
  const std::pair<std::string, std::string> cases[] = {
      {"x\ry\r\n", "x\ry"},       {"a\n\rb\n", "a"},
      {"a\rb\n", "a\rb"},         {"call\r", "call"},
      {"\b\bG1\bABC\n", "GABC"},  {"X\bG1ABC\r\n", "G1ABC"},
      {"\xFF\xFD\x01K1\n", "K1"}, {"\xFF\xFB\x1F\xFF\xFB\x20R2\n", "R2"}};
  int n = 0;
  for (const auto& [typed, login] : cases) {
    auto caller = AnnouncedUser("127.0.1." + N(++n));
    const std::string s = N(LastStream());
    MonitorQueue();
    EXPECT_TRUE(SentUp(*caller, typed, Up({"AA03", s, login}))) << typed;
    EXPECT_EQ(MonitorQueue(),
              (Texts{"^ZQ66^" + s + "^6^" + login + EOT, "^ZQ66^" + s + "^7^65280" + EOT}));
  }
}

TEST_F(UserInput, LoggedInLinesEndInCrLfWithoutTelnetBytesAndUserTextNeverEndsALinkMessage) {
  auto user = LoggedInUser("G1ABC", "127.0.0.2");
  for (const std::string ending : {"\r", "\n", "\n\r", "\r\n"})
    EXPECT_TRUE(SentUp(*user, "sh/dx" + ending, Up({"AA00", "2", "sh/dx\r\n"})));
  // Without a line end the text waits for one; two lines in a block go up as one message.
  user->Send("sh/");
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_TRUE(SentUp(*user, "wwv\r\nb\x03\r\n", Up({"AA00", "2", "sh/wwv\r\nb\x02\r\n"})));
  // The NUL after a CR goes, also from the next block; so does a telnet command cut in two.
  EXPECT_TRUE(SentUp(*user, "bye\r", Up({"AA00", "2", "bye\r\n"})));
  EXPECT_TRUE(SentUp(*user, std::string("\0dx\r\0\xFF", 6), Up({"AA00", "2", "dx\r\n"})));
  EXPECT_TRUE(SentUp(*user, std::string("\xFB\x18\xFF\xFD\x01") + "sh/dx\r\n",
                     Up({"AA00", "2", "sh/dx\r\n"})));
  auto waiting = AnnouncedUser("127.0.0.3");
  EXPECT_TRUE(SentUp(*waiting, "G1\x03X\r\n", Up({"AA03", "3", "G1\x02X"})));
}

TEST_F(UserInput, NuisanceCallersAreSilencedAndLockedOut) {
  FeedOn(0);
  int n = 0;
  for (const std::string first : {"GET / HTTP/1.1\r\n", "TEAMLUC\r\n", "Demo user\r\n"}) {
    auto caller = AnnouncedUser("127.0.3." + N(++n));
    const int s = LastStream();
    MonitorQueue();
    caller->Send(first);
    Settle();
    EXPECT_EQ(Row(s).call.colour, colours::kRed) << first;
    EXPECT_EQ(MonitorQueue(), Texts{"^ZQ66^" + N(s) + "^6^" + first + EOT});
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

}  // namespace
}  // namespace velgate::testing
