// What each coded message of the cluster does to the stream it names, as all ends see it.

#include <algorithm>
#include <random>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class Dispatch : public GatewayFixture {
 protected:
  void SetUp() override { StartOnline(); }
};

TEST_F(Dispatch, Codes4To6ConfirmTheLoginEachInItsWay) {
  // 125 s apart, after a login line and a note (code 2) that code 4 removes: call|time|note.
  const std::tuple<std::string, std::string, Colour, std::string> cases[] = {
      {"4", Up({"AA04", "2", "04-Dec-2026 1202Z", "80"}), colours::kYellow,
       "K2|04-Dec-2026 1202Z|"},
      {"5", Up({"AA04", "3", "04-Dec-2026 1204Z"}), colours::kCyan, "K3|04-Dec-2026 1204Z|note"},
      {"6", "", colours::kGreen, "G1ABC||note"}};
  std::vector<Peer> users;
  for (int s = 2; s <= 4; ++s) {
    const auto& [code, ack, port, shown] = cases[s - 2];
    users.push_back(ConnectUser("127.0.0." + N(s)));
    ClusterGot();
    EXPECT_TRUE(SentUp(*users.back(), "G1ABC\r\n", Up({"AA03", N(s), "G1ABC"})));
    loop.AdvanceMs(125000);
    ClusterSends(Down({"2", N(s), "note"}) +
                 (code == "6" ? Down({"6", N(s)}) : Down({code, N(s), "K" + N(s)})));
    ASSERT_TRUE(WaitState(s, StreamState::kLoggedIn)) << code;
    EXPECT_TRUE(ClusterGets(ack)) << code;
    EXPECT_EQ(Row(s).port.colour, port) << code;
    EXPECT_EQ(Row(s).call.text + "|" + Row(s).address_tip + "|" + Row(s).port_tip, shown);
    EXPECT_TRUE(SentUp(*users.back(), "sh/dx\r\n", Up({"AA00", N(s), "sh/dx\r\n"}))) << code;
  }
}

TEST_F(Dispatch, ALoginAnswerIsCarriedOutOnlyForTheCallerWhoAsked) {
  // A sends its login line and hangs up; B takes the stream; A's answer comes late.
  auto a = ConnectUser("127.0.0.2");
  ClusterGot();
  EXPECT_TRUE(SentUp(*a, "G0AAA\r\n", Up({"AA03", "2", "G0AAA"})));
  a->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G0AAA", "2", "1"})));
  auto b = ConnectUser("127.0.0.3");
  ASSERT_EQ(LastStream(), 2);
  ClusterGot();
  for (const char* code : {"4", "5", "6", "7"}) ClusterSends(Down({code, "2", "G0AAA"}));
  // And an answer for a stream nobody is on.
  ClusterSends(Down({"4", "5", "G0AAA"}));
  Settle();
  EXPECT_EQ(State(2), StreamState::kAnnounced);
  EXPECT_EQ(Row(2).call.text, "");
  EXPECT_EQ(ClusterGot(), "");  // no AA04
  EXPECT_EQ(LogLinesWith("dropped: its caller asked for none"), 5u);
  EXPECT_TRUE(LogLines({"<6>user logged-in"}).empty());
  // B's own login is answered as ever.
  EXPECT_TRUE(SentUp(*b, "M0BBB\r\n", Up({"AA03", "2", "M0BBB"})));
  ClusterSends(Down({"5", "2", "M0BBB"}));
  ASSERT_TRUE(WaitState(2, StreamState::kLoggedIn));
  EXPECT_TRUE(ClusterGets(Up({"AA04", "2", "04-Dec-2026 1200Z"})));
}

TEST_F(Dispatch, Code0ReachesLoggedInStreamsOfItsConnectionOnlyAndCode7SendsBackToWaiting) {
  auto waiting = ConnectUser("127.0.0.2");
  auto user = LoggedInUser("G1ABC", "127.0.0.3");
  ClusterSends(Down({"0", "2", "early"}) + Down({"0", "3", "DX de G1ABC"}) +
               Down({"0", "3", " for an earlier caller", "7"}) +
               Down({"0", "3", " and this", "02"}) + Down({"3", "2", "marker"}));
  EXPECT_TRUE(UserGets(*waiting, "marker\r\n"));
  EXPECT_TRUE(UserGets(*user, "DX de G1ABC and this"));
  EXPECT_EQ(ClusterGot(), "");

  // A stream without a connection number: the cluster hears it has ended, the text still goes.
  Table().At(3).connection = 0;
  EXPECT_TRUE(SentDown(Down({"0", "3", "orphan", "5"}), *user, "orphan"));
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1ABC", "3", "0"})));
  EXPECT_EQ(Row(3).call.colour, colours::kWhite);
  EXPECT_TRUE(SentDown(Down({"0", "3", "plain"}), *user, "plain"));  // no connection to compare
  EXPECT_EQ(ClusterGot(), "");

  // After code 7 input goes up as AA03, code 0 is held back, code 3 ends lines but the prompt.
  EXPECT_TRUE(SentDown(Down({"7", "3", "Login refused"}), *user, "Login refused\r\n"));
  EXPECT_EQ(Row(3).call.colour, colours::kLightPink);
  EXPECT_TRUE(SentUp(*user, "G1ABC\r\n", Up({"AA03", "3", "G1ABC\r\n"})));
  ClusterSends(Down({"0", "3", "not for you"}) + Down({"3", "3", "Welcome"}) +
               Down({"3", "3", "login:"}) + Down({"3", "3", ""}) + Down({"3", "3", "login: "}));
  EXPECT_TRUE(UserGets(*user, "Welcome\r\nlogin:\r\n\r\nlogin: "));
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(Dispatch, Code8ClosesReportingOnlyWithoutAConnectionNumber) {
  auto first = LoggedInUser("G1AAA", "127.0.0.2");
  auto second = LoggedInUser("G1BBB", "127.0.0.3");
  auto third = LoggedInUser("G1CCC", "127.0.0.4");
  FeedOn(0);
  MonitorQueue();
  const auto ended = [&](int s, const std::string& call) {
    return "^ZQ66^" + N(s) + "^0^127.0.0." + N(s) + "^16777215^" + Row(s).port.text + "^65280^" +
           call + "^16777215^0^" + EOT;
  };
  // A line sent before the order still arrives; a text field is no connection number.
  EXPECT_TRUE(SentDown(Down({"3", "2", "73"}) + Down({"8", "2", "bye"}), *first, "73\r\n"));
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1AAA", "2", "0"})));
  EXPECT_TRUE(WaitClosed(*first));
  EXPECT_EQ(MonitorQueue({"^ZQ66^"}), (Texts{ended(2, "G1AAA"), ended(2, "G1AAA")}));

  ClusterSends(Down({"8", "3", "", "2"}) + Down({"8", "4", "", "2"}));
  EXPECT_TRUE(WaitClosed(*second));
  EXPECT_TRUE(StillConnected(*third));
  EXPECT_EQ(State(4), StreamState::kLoggedIn);
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_EQ(MonitorQueue({"^ZQ66^"}), Texts{ended(3, "G1BBB")});

  // The next caller on a freed stream is safe from orders meant for the one before.
  auto next = ConnectUser("127.0.0.5");
  SendsLogin(*next, 2, "G1CCC");
  ClusterSends(Down({"6", "2"}) + Down({"0", "2", "late", "1"}) + Down({"8", "2", "", "1"}) +
               Down({"0", "2", "fresh", "4"}));
  EXPECT_TRUE(UserGets(*next, "fresh"));
  EXPECT_TRUE(StillConnected(*next));
  EXPECT_EQ(ClusterGot(), Announced(2, "127.0.0.5", 4) + Up({"AA03", "2", "G1CCC"}));
}

// Whatever the cluster sends (every code naming no stream, a listener or nothing, fields missing
// or extra, noise, in blocks of random sizes) the gateway keeps serving its users.

class DownstreamRobustness : public GatewayFixture {
 protected:
  // None names stream 3 (a user's), orders the end or an outgoing connection; noise has no Chr(3).
  std::string Messages(std::mt19937& random) {
    std::vector<std::string> messages = {
        "10" + ETX + "disconnec", "10" + ETX + "disconnect" + ETX + "now",
        "0" + ETX + "4" + ETX + std::string(100 * 1024, 'z'), std::string(70 * 1024, 'y')};
    for (const char* code : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "10", "", "x", "00"}) {
      for (const char* stream : {"-1", "0", "1", "7", "99999", "", "abc", "32768", "-32769",
                                 "2147483648", " 5", "5 ", "+5", "05", "4"}) {
        for (std::string tail :
             {"", "^", "^^", "^text", "^text^1", "^text^abc", "^text^99999999999", "^^^^extra"}) {
          std::replace(tail.begin(), tail.end(), '^', '\x03');
          messages.push_back(code + ETX + stream + tail);
        }
        messages.push_back(code);
      }
    }
    const std::string alphabet = std::string("0123456789^ +-abcXYZ\r\n\x02\x7f\xff") + '\0';
    for (int n = 0; n < 400; ++n) {
      std::string noise;
      for (std::size_t k = random() % 41; k > 0; --k) noise += alphabet[random() % alphabet.size()];
      messages.push_back(noise);
    }
    std::shuffle(messages.begin(), messages.end(), random);
    std::string bytes;
    for (const std::string& m : messages) bytes += m + EOT;
    return bytes;
  }

  void SendInBlocks(const std::string& bytes, std::mt19937& random) {
    for (std::size_t at = 0, size; at < bytes.size(); at += size) {
      size = random() % 5 != 0 ? 1 + random() % 64 : 65 + random() % 20000;
      ClusterSends(bytes.substr(at, size));
      loop.Poll();
    }
  }
};

TEST_F(DownstreamRobustness, MalformedAndStrayMessagesLeaveTheRoadOpen) {
  StartOnline();
  auto bystander = ConnectUser("127.0.0.2");
  auto user = LoggedInUser("G1ABC", "127.0.0.3");
  // The feed on, watching a stream that the noise names, tracing every stream.
  FeedOn(4);
  for (int s = 0; s <= Table().StreamMax(); ++s) Table().At(s).monitor_echo = true;
  std::mt19937 random(20261204);
  SendInBlocks(Messages(random), random);

  EXPECT_TRUE(Link().ClusterOnline());
  EXPECT_FALSE(shut_down);
  EXPECT_EQ(State(3), StreamState::kLoggedIn);
  Settled(*user);  // what the noise sent to this stream is not checked here
  user->ClearReceived();
  ClusterGot();
  EXPECT_TRUE(SentUp(*user, "sh/dx\r\n", Up({"AA00", "3", "sh/dx\r\n"})));
  const std::string spot = "DX de K1TTT:  14025.0  G1ABC  cq\x07\r\n";
  EXPECT_TRUE(SentDown(Down({"0", "3", spot}), *user, spot));
  auto newcomer = ConnectUser("127.0.0.9");
  EXPECT_TRUE(ClusterGets(Announced(LastStream(), "127.0.0.9", 3)));
}

}  // namespace
}  // namespace velgate::testing
