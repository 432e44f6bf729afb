// Whatever the cluster sends, the gateway keeps serving: every code with stream numbers that name
// nothing, a listener or no number at all, fields missing and extra, empty messages and noise,
// cut into blocks of random sizes. Afterwards a logged-in user's line still goes both ways.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <random>
#include <string>
#include <vector>

#include "UserRoadFixture.h"

namespace velgate::testing {
namespace {

const std::string ETX = "\x03";
const std::string EOT = "\x04";

class DownstreamRobustness : public UserRoadFixture {
 protected:
  // The messages for one run; none of them names stream `spared` (that user must stay logged
  // in), orders the gateway to end, or asks for an outgoing connection.
  std::vector<std::string> Messages(int spared, std::mt19937& random) {
    const std::string beyond = std::to_string(Table().StreamMax() + 1);
    const std::vector<std::string> streams = {"-1", "0",   "1",     beyond,   "99999",
                                              "",   "abc", "32768", "-32769", "2147483648",
                                              " 5", "5 ",  "+5",    "05",     "4"};
    const std::vector<std::string> codes = {"0", "1", "2",  "3", "4", "5",  "6",
                                            "7", "8", "10", "",  "x", "00", "-"};
    std::vector<std::string> messages;
    for (const std::string& code : codes) {
      for (const std::string& stream : streams) {
        messages.push_back(code);
        messages.push_back(code + ETX + stream);
        messages.push_back(code + ETX + stream + ETX + "text");
        messages.push_back(code + ETX + stream + ETX + "text" + ETX + "1");
        messages.push_back(code + ETX + stream + ETX + "text" + ETX + "abc");
        messages.push_back(code + ETX + stream + ETX + "text" + ETX + "99999999999");
        messages.push_back(code + ETX + stream + ETX + "" + ETX + "" + ETX + "" + ETX + "extra");
        messages.push_back(code + ETX + stream + ETX + ETX);
      }
    }
    messages.push_back("");
    messages.push_back(ETX);
    messages.push_back(ETX + ETX + ETX);
    messages.push_back("10" + ETX + "disconnec");
    messages.push_back("10" + ETX + "disconnect" + ETX + "now");
    messages.push_back("0" + ETX + "4" + ETX + std::string(100 * 1024, 'z'));
    messages.push_back(std::string(70 * 1024, 'y'));

    static const char kAlphabet[] = "0123456789^ +-abcXYZ\r\n\x03\x02\x7f\xff";
    std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
    alphabet += '\0';
    std::uniform_int_distribution<std::size_t> length(0, 40);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int n = 0; n < 400; ++n) {
      std::string noise;
      for (std::size_t k = length(random); k > 0; --k) noise += alphabet[pick(random)];
      messages.push_back(noise);
    }
    std::shuffle(messages.begin(), messages.end(), random);
    std::erase_if(messages, [&](const std::string& m) { return Harmful(m, spared); });
    return messages;
  }

  static bool Harmful(const std::string& message, int spared) {
    std::vector<std::string> fields(1);
    for (char c : message) {
      if (c == '\x03') {
        fields.emplace_back();
      } else {
        fields.back() += c;
      }
    }
    if (fields[0] == "9") return true;
    if (fields.size() == 2 && fields[0] == "10" && fields[1] == "disconnect") return true;
    if (fields.size() < 2) return false;
    // Read the stream number more loosely than the gateway does, to be sure to spare it.
    std::string number;
    for (char c : fields[1]) {
      if (c != ' ' && c != '+' && c != '-') number += c;
    }
    long long value = -1;
    auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    return result.ec == std::errc() && result.ptr == number.data() + number.size() &&
           value == spared;
  }

  // Sends the bytes in blocks of random sizes, letting the gateway read between them.
  void SendInBlocks(const std::string& bytes, std::mt19937& random) {
    std::uniform_int_distribution<std::size_t> small(1, 64);
    std::uniform_int_distribution<std::size_t> large(65, 20000);
    std::bernoulli_distribution mostly_small(0.8);
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t size = mostly_small(random) ? small(random) : large(random);
      const std::string block = bytes.substr(at, size);
      ClusterSends(block);
      at += block.size();
      loop.Poll();
    }
  }

  std::string Joined(const std::vector<std::string>& messages) {
    std::string bytes;
    for (const std::string& m : messages) bytes += m + EOT;
    return bytes;
  }

  void ExpectServing(TestPeer& user, int s) {
    EXPECT_TRUE(gateway->Link().ClusterOnline());
    EXPECT_FALSE(shut_down);
    EXPECT_EQ(Table().Socket(1).State(), SocketState::kListening);
    EXPECT_EQ(Table().StreamState[static_cast<std::size_t>(s)], 7);
    // Anything the noise sent to this stream is not what is checked here.
    Settled(user);
    user.ClearReceived();
    ClusterGot();

    user.Send("sh/dx\r\n");
    const std::string up = "AA00^" + std::to_string(s) + "^sh/dx\r\n" + ETX;
    EXPECT_EQ(ClusterWaitFor(up.size()), up);
    const std::string spot = "DX de K1TTT:  14025.0  G1ABC  cq\x07\r\n";
    ClusterSends(Down({"0", std::to_string(s), spot}));
    EXPECT_EQ(UserWaitFor(user, spot.size()), spot);
    EXPECT_EQ(ClusterGot(), "");
  }
};

TEST_F(DownstreamRobustness, MalformedAndStrayMessagesLeaveTheRoadOpen) {
  StartOnline();
  auto bystander = ConnectUser("127.0.0.2");
  auto user = LoggedInUser("G1ABC", "127.0.0.3");
  const int s = LastStream();
  ASSERT_EQ(s, 3);

  std::mt19937 random(20261204);
  SendInBlocks(Joined(Messages(s, random)), random);
  ExpectServing(*user, s);

  // Again with the monitor feed on, watching a stream that the noise names.
  MonitorFeed& monitor = gateway->Monitor();
  monitor.MonitorActive = true;
  monitor.SockState = 7;
  monitor.MonitoredStream = 4;
  std::fill(Table().StreamMonitorEcho.begin(), Table().StreamMonitorEcho.end(), 1);
  SendInBlocks(Joined(Messages(s, random)), random);
  ExpectServing(*user, s);

  // The listener still admits and announces new callers.
  auto newcomer = ConnectUser("127.0.0.9");
  const int n = LastStream();
  const std::string announced = Up({"AA02", "2", std::to_string(Table().StreamMax())}) +
                                Up({"AA03", "Connect Request", std::to_string(n), "3", "127.0.0.9",
                                    "1", std::to_string(Table().LastConnID)});
  EXPECT_EQ(ClusterWaitFor(announced.size()), announced);
}

}  // namespace
}  // namespace velgate::testing
