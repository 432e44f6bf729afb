// Whatever the cluster sends, the gateway keeps serving: every code with stream numbers that name
// nothing, a listener or no number at all, fields missing and extra, empty messages and noise,
// cut into blocks of random sizes. Afterwards a logged-in user's line still goes both ways.

#include <algorithm>
#include <random>

#include "GatewayFixture.h"

namespace velgate::testing {
namespace {

class DownstreamRobustness : public UserRoadFixture {
 protected:
  // The messages of one run, each with its Chr(4). None names stream 3, where a user is logged
  // in, orders the gateway to end or asks for an outgoing connection; the noise has no Chr(3).
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

  // Sends the bytes in blocks of random sizes, mostly small, letting the gateway read between.
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
  // The monitor feed is on, watching a stream that the noise names, and copying every stream.
  FeedOn(4);
  for (int s = 0; s <= Table().StreamMax(); ++s) Table().At(s).monitor_echo = true;
  std::mt19937 random(20261204);
  SendInBlocks(Messages(random), random);

  EXPECT_TRUE(gateway->Link().ClusterOnline());
  EXPECT_FALSE(shut_down);
  EXPECT_EQ(State(3), StreamState::kLoggedIn);
  Settled(*user);  // what the noise sent to this stream is not checked here
  user->ClearReceived();
  ClusterGot();
  user->Send("sh/dx\r\n");
  EXPECT_TRUE(ClusterGets(Up({"AA00", "3", "sh/dx\r\n"})));
  const std::string spot = "DX de K1TTT:  14025.0  G1ABC  cq\x07\r\n";
  ClusterSends(Down({"0", "3", spot}));
  EXPECT_TRUE(UserGets(*user, spot));
  // The listener still admits and announces new callers.
  auto newcomer = ConnectUser("127.0.0.9");
  EXPECT_TRUE(ClusterGets(Up({"AA02", "2", "6"}) + Up({"AA03", "Connect Request", N(LastStream()),
                                                       "3", "127.0.0.9", "1", "3"})));
}

}  // namespace
}  // namespace velgate::testing
