// The socket object over real loopback connections: events, the send queue's cap, the last line
// before a close and completions that arrive for an earlier occupant.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TestLoop.h"
#include "TestPeer.h"
#include "platform/TcpSocket.h"

namespace velgate::testing {
namespace {

class TcpSocketTest : public ::testing::Test, TcpSocketEvents {
 protected:
  TcpSocketTest() {
    listener.SetLocalPort(0);
    listener.Listen();
  }

  void OnConnectionRequest(int index, PendingConnection& request) override {
    events.push_back("request " + std::to_string(index));
    stream.Accept(request);
  }
  void OnDataArrival(int index, std::string_view data) override { received[index] += data; }
  void OnConnect(int index) override { events.push_back("connect " + std::to_string(index)); }
  void OnClose(int index) override { events.push_back("close " + std::to_string(index)); }
  void OnError(int index, const RunTimeError& error) override {
    events.push_back("error " + std::to_string(index) + " " + std::to_string(error.Number()));
  }
  std::size_t Count(const std::string& event) const {
    return static_cast<std::size_t>(std::count(events.begin(), events.end(), event));
  }

  std::unique_ptr<TestPeer> ConnectUser() {
    auto peer = std::make_unique<TestPeer>(listener.LocalPort());
    EXPECT_TRUE(loop.RunUntil([&] { return stream.State() == SocketState::kConnected; }));
    return peer;
  }

  std::vector<std::string> events;
  std::map<int, std::string> received;
  TestLoop loop;
  TcpSocket listener{loop.io, *this, 1, 1024};
  TcpSocket stream{loop.io, *this, 2, 64 * 1024};
};

TEST_F(TcpSocketTest, DataBothWaysThenTheRemoteCloseIsAnEventAndOurOwnIsNot) {
  EXPECT_FALSE(stream.SendData("x"));
  auto user = ConnectUser();
  EXPECT_EQ(stream.RemoteHostIP(), "127.0.0.1");
  user->Send("hello\r\n");
  ASSERT_TRUE(loop.RunUntil([&] { return received[2] == "hello\r\n"; }));
  user->Close();
  ASSERT_TRUE(loop.RunUntil([&] { return Count("close 2") == 1; }));
  EXPECT_EQ(stream.State(), SocketState::kClosed);

  // The last line queued before our own close still arrives, and no event is raised.
  auto second = ConnectUser();
  EXPECT_TRUE(stream.SendData("73 de gateway\r\n"));
  stream.Close();
  ASSERT_TRUE(loop.RunUntil([&] { return second->Pump(), second->Closed(); }));
  EXPECT_EQ(second->Received(), "73 de gateway\r\n");
  loop.Poll();
  EXPECT_EQ(events, (std::vector<std::string>{"request 1", "close 2", "request 1"}));
}

TEST_F(TcpSocketTest, QueueOverItsCapIsOneErrorEventFromTheLoop) {
  auto user = ConnectUser();  // never reads
  const std::string block(16 * 1024, 'x');
  bool raised_inside_send = false;
  for (int i = 0; i < 2000 && stream.State() == SocketState::kConnected; ++i) {
    const std::size_t before = events.size();
    stream.SendData(block);
    raised_inside_send |= events.size() != before;
    loop.Poll();
  }
  EXPECT_FALSE(raised_inside_send);
  EXPECT_EQ(stream.State(), SocketState::kError);
  EXPECT_LE(stream.QueuedBytes(), 64u * 1024u);
  ASSERT_TRUE(loop.RunUntil([&] { return Count("error 2 10055") > 0; }));
  loop.Poll();
  EXPECT_EQ(Count("error 2 10055"), 1u);
}

TEST_F(TcpSocketTest, CompletionsOfAnEarlierOccupantDoNotReachTheNextOne) {
  auto first = ConnectUser();
  first->Send("old");
  ASSERT_TRUE(loop.RunUntil([&] { return received[2] == "old"; }));
  first->Send("late");
  stream.Close();
  first->Close();
  auto second = ConnectUser();
  second->Send("new");
  ASSERT_TRUE(loop.RunUntil([&] { return received[2] == "oldnew"; }));
  loop.Poll();
  EXPECT_EQ(received[2], "oldnew");
  EXPECT_EQ(stream.State(), SocketState::kConnected);
  EXPECT_EQ(Count("close 2"), 0u);
}

}  // namespace
}  // namespace velgate::testing
