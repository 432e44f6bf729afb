// The ways a stream ends and what the cluster hears of each: a hang-up, a socket error, a user
// who stops reading, and a line that never ends.

#include <gtest/gtest.h>

#include <string>

#include "UserRoadFixture.h"

namespace velgate::testing {
namespace {

std::string N(int value) {
  return std::to_string(value);
}

class StreamEndings : public UserRoadFixture {
 protected:
  // Waits for exactly as many bytes as expected and compares them.
  ::testing::AssertionResult ClusterGets(const std::string& expected) {
    return Same("the cluster", ClusterWaitFor(expected.size()), expected);
  }
  ::testing::AssertionResult UserGets(TestPeer& user, const std::string& expected) {
    return Same("the user", UserWaitFor(user, expected.size()), expected);
  }
  static ::testing::AssertionResult Same(const char* who, const std::string& got,
                                         const std::string& expected) {
    if (got == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << who << " got " << ::testing::PrintToString(got)
                                         << "\n   expected " << ::testing::PrintToString(expected);
  }

  bool WaitClosed(TestPeer& user) {
    return loop.RunUntil([&] {
      user.Pump();
      return user.Closed();
    });
  }

  bool WaitSocketClosed(int s) {
    return loop.RunUntil([&] { return Table().Socket(s).State() == SocketState::kClosed; });
  }

  static std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
      ++count;
    }
    return count;
  }
};

TEST_F(StreamEndings, LoggedInUserHangsUpTheRowTurnsWhiteAndKeepsItsTexts) {
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  const int s = LastStream();
  ClusterSends(Down({"4", N(s), "G1ABC"}));
  ASSERT_TRUE(loop.RunUntil([&] { return Table().StreamState[static_cast<std::size_t>(s)] == 7; }));
  const std::string port_text = Row(s).port.text;
  ASSERT_FALSE(port_text.empty());
  ClusterGot();

  user->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1ABC", N(s), "1"})));
  EXPECT_EQ(Table().Socket(s).State(), SocketState::kClosed);
  EXPECT_EQ(Row(s).address.colour, colours::kWhite);
  EXPECT_EQ(Row(s).port.colour, colours::kWhite);
  EXPECT_EQ(Row(s).call.colour, colours::kWhite);
  EXPECT_EQ(Row(s).address.tip, "");
  EXPECT_EQ(Row(s).address.text, "127.0.0.2");
  EXPECT_EQ(Row(s).port.text, port_text);
  EXPECT_EQ(Row(s).call.text, "G1ABC");
  EXPECT_EQ(Table().StreamIPNumber[static_cast<std::size_t>(s)], 0);
  EXPECT_EQ(ClusterGot(), "");
}

TEST_F(StreamEndings, HangUpBeforeLoginReportsWhatWasTyped) {
  StartOnline();
  auto silent = ConnectUser("127.0.0.2");
  auto typing = ConnectUser("127.0.0.3");
  typing->Send("G1A");
  ASSERT_TRUE(loop.RunUntil([&] { return Row(3).call.text == "G1A"; }));
  ClusterGot();

  silent->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "", "2", "1"})));
  typing->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1A", "3", "2"})));
}

TEST_F(StreamEndings, Chr3InTheCallSignIsMaskedOnHangUpAndDroppedOnError) {
  StartOnline();
  auto hangs_up = LoggedInUser("G1\x03X", "127.0.0.2");
  auto fails = LoggedInUser("G2\x03Y", "127.0.0.3");

  hangs_up->Close();
  EXPECT_TRUE(ClusterGets(Up({"AA17", std::string("G1\0X", 4), "2", "1"})));
  fails->Reset();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G2Y", "3", "0"})));
}

TEST_F(StreamEndings, SocketErrorReportsTheEndAndResetsTheStream) {
  StartOnline();
  auto user = ConnectUser("127.0.0.2");
  const int s = LastStream();
  const auto i = static_cast<std::size_t>(s);
  ClusterSends(Down({"4", N(s), "G1ABC"}));
  ASSERT_TRUE(loop.RunUntil([&] { return Table().StreamState[i] == 7; }));
  ClusterGot();

  user->Reset();
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1ABC", N(s), "0"})));
  ASSERT_TRUE(WaitSocketClosed(s));
  EXPECT_EQ(Table().StreamState[i], 0);
  EXPECT_EQ(Table().StreamConnID[i], 0);
  EXPECT_EQ(Row(s).address.colour, colours::kWhite);
  EXPECT_EQ(Row(s).call.colour, colours::kWhite);
  // Only the hang-up paints the port field and empties the login time.
  EXPECT_EQ(Row(s).port.colour, colours::kYellow);
  EXPECT_EQ(Row(s).address.tip, "04-Dec-2026 1200Z");
  EXPECT_EQ(ClusterGot(), "");

  // The stream is free for the next caller.
  auto next = ConnectUser("127.0.0.3");
  EXPECT_EQ(LastStream(), s);
}

TEST_F(StreamEndings, UserWhoStopsReadingIsEndedWhileOthersKeepFlowing) {
  StartOnline();
  auto slow = LoggedInUser("SLOW", "127.0.0.2");
  auto fast = LoggedInUser("FAST", "127.0.0.3");
  // Several messages to a block, as a busy cluster sends them.
  const std::string message = Down({"0", "2", std::string(16 * 1024, 'x')});
  const std::string flood = message + message + message + Down({"0", "2", std::string(9000, 'y')});
  const std::size_t flood_text = 3 * 16 * 1024 + 9000;

  std::string cluster_expected;
  std::string fast_expected;
  int sent = 0;
  // The flood goes out a few messages at a time so that the gateway keeps draining the link.
  std::size_t addressed = 0;
  for (; sent < 3000 && Table().StreamState[2] == 7; ++sent) {
    ClusterSends(flood);
    addressed += flood_text;
    loop.Poll();
    if (sent % 10 == 0) {
      const std::string line = "sh/dx " + N(sent) + "\r\n";
      fast->Send(line);
      cluster_expected += Up({"AA00", "3", line});
      const std::string spot = "DX de K1TTT " + N(sent) + "\r\n";
      ClusterSends(Down({"0", "3", spot}));
      fast_expected += spot;
      loop.Poll();
    }
  }
  ASSERT_LT(sent, 3000) << "the silent reader was never ended";
  // What is still on its way for the ended stream changes nothing.
  for (int more = 0; more < 20; ++more) {
    ClusterSends(flood);
    loop.Poll();
  }
  fast->Send("bye\r\n");
  cluster_expected += Up({"AA00", "3", "bye\r\n"});
  ClusterSends(Down({"0", "3", "73\r\n"}));
  fast_expected += "73\r\n";

  const std::string ended = Up({"AA17", "SLOW", "2", "0"});
  std::string got = ClusterWaitFor(cluster_expected.size() + ended.size());
  // The ending is reported once, whatever else was still sent to the failing stream.
  EXPECT_EQ(Count(got, "AA17^"), 1u);
  ASSERT_EQ(Count(got, ended), 1u) << got;
  got.erase(got.find(ended), ended.size());
  EXPECT_EQ(got, cluster_expected);
  EXPECT_TRUE(UserGets(*fast, fast_expected));

  EXPECT_EQ(Table().Socket(2).State(), SocketState::kClosed);
  EXPECT_EQ(Table().StreamState[2], 0);
  EXPECT_EQ(Table().StreamConnID[2], 0);
  EXPECT_TRUE(WaitClosed(*slow));
  EXPECT_EQ(Table().StreamState[3], 7);
  // What the system took is delivered; the rest was waiting in the gateway when the stream
  // failed: a little over 1 MiB, at most one flood more.
  const std::size_t waiting = addressed - slow->Received().size();
  EXPECT_GT(waiting, std::size_t{1024 * 1024 - 16 * 1024});
  EXPECT_LE(waiting, 1024 * 1024 + flood_text);
}

TEST_F(StreamEndings, HeldTextWithoutLineEndEndsTheStreamAndIsNotLogged) {
  StartOnline();
  auto user = LoggedInUser("G1ABC", "127.0.0.2");

  // A long line that ends in time is still one line.
  const std::string long_line = std::string(65000, 'b') + "\r\n";
  user->Send(long_line);
  EXPECT_TRUE(ClusterGets(Up({"AA00", "2", long_line})));

  user->Send(std::string(70000, 'a'));
  EXPECT_TRUE(ClusterGets(Up({"AA17", "G1ABC", "2", "1"})));
  EXPECT_TRUE(WaitClosed(*user));
  EXPECT_EQ(Table().Socket(2).State(), SocketState::kClosed);
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_EQ(ErrorLogLines(), 1u);
  const std::string log = ErrorLogText();
  EXPECT_EQ(log.rfind("\"04-12-2026 1200Z VelgateIn_DataArrival ", 0), 0u) << log;
  EXPECT_EQ(log.find("aaaa"), std::string::npos);
}

}  // namespace
}  // namespace velgate::testing
