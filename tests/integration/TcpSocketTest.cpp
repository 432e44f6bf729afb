// The socket object over real loopback connections: states, events, the send queue's cap and
// completions that arrive for an earlier occupant.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TestLoop.h"
#include "TestPeer.h"
#include "platform/TcpSocket.h"

namespace velgate::testing {
namespace {

struct EventLog final : TcpSocketEvents {
  std::function<void(int, PendingConnection&)> on_request;
  std::function<void(int, std::string_view)> on_data;
  std::vector<std::string> events;
  std::map<int, std::string> received;

  void OnConnectionRequest(int index, PendingConnection& request) override {
    events.push_back("request " + std::to_string(index));
    if (on_request) on_request(index, request);
  }
  void OnDataArrival(int index, std::string_view data) override {
    received[index] += data;
    if (on_data) on_data(index, data);
  }
  void OnConnect(int index) override { events.push_back("connect " + std::to_string(index)); }
  void OnClose(int index) override { events.push_back("close " + std::to_string(index)); }
  void OnError(int index, const RunTimeError& error) override {
    events.push_back("error " + std::to_string(index) + " " + std::to_string(error.Number()));
  }
};

class TcpSocketTest : public ::testing::Test {
 protected:
  TcpSocketTest() {
    listener.SetLocalPort(FreePorts(1)[0]);
    listener.Listen();
    log.on_request = [this](int, PendingConnection& request) { stream.Accept(request); };
  }

  // A user connected to the stream socket through the listener.
  std::unique_ptr<TestPeer> ConnectUser() {
    auto peer = std::make_unique<TestPeer>(listener.LocalPort());
    EXPECT_TRUE(loop.RunUntil([&] { return stream.State() == SocketState::kConnected; }));
    return peer;
  }

  TestLoop loop;
  EventLog log;
  TcpSocket listener{loop.io, log, 1, 1024};
  TcpSocket stream{loop.io, log, 2, 64 * 1024};
};

TEST_F(TcpSocketTest, AcceptedConnectionCarriesDataBothWays) {
  auto user = ConnectUser();
  EXPECT_EQ(stream.RemoteHostIP(), "127.0.0.1");
  EXPECT_NE(stream.RemotePort(), 0);
  EXPECT_EQ(listener.State(), SocketState::kListening);

  user->Send("hello\r\n");
  ASSERT_TRUE(loop.RunUntil([&] { return log.received[2] == "hello\r\n"; }));
  EXPECT_TRUE(stream.SendData("line one\r\n"));
  EXPECT_TRUE(stream.SendData("line two\r\n"));
  ASSERT_TRUE(loop.RunUntil([&] {
    user->Pump();
    return user->Received() == "line one\r\nline two\r\n";
  }));
}

TEST_F(TcpSocketTest, RemoteCloseRaisesCloseAndOwnCloseRaisesNothing) {
  auto user = ConnectUser();
  user->Close();
  ASSERT_TRUE(loop.RunUntil([&] { return !log.events.empty() && log.events.back() == "close 2"; }));
  EXPECT_EQ(stream.State(), SocketState::kClosed);

  auto second = ConnectUser();
  log.events.clear();
  stream.Close();
  loop.RunUntil([&] { return second->Pump() && second->Closed(); });
  EXPECT_TRUE(second->Closed());
  loop.Poll();
  EXPECT_TRUE(log.events.empty());
}

TEST_F(TcpSocketTest, SendOnASocketThatIsNotConnectedSendsNothing) {
  EXPECT_FALSE(stream.SendData("x"));
  EXPECT_FALSE(listener.SendData("x"));
}

TEST_F(TcpSocketTest, QueueOverItsCapIsAnErrorEventFromTheLoop) {
  auto user = ConnectUser();  // never reads
  std::string block(16 * 1024, 'x');
  bool raised_inside_send = false;
  for (int i = 0; i < 2000 && stream.State() == SocketState::kConnected; ++i) {
    std::size_t before = log.events.size();
    stream.SendData(block);
    raised_inside_send |= log.events.size() != before;
    loop.Poll();
  }
  EXPECT_FALSE(raised_inside_send);
  EXPECT_EQ(stream.State(), SocketState::kError);
  EXPECT_LE(stream.QueuedBytes(), 64u * 1024u);
  ASSERT_TRUE(
      loop.RunUntil([&] { return !log.events.empty() && log.events.back() == "error 2 10055"; }));
  // Exactly one report.
  loop.Poll();
  EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "error 2 10055"), 1);
}

TEST_F(TcpSocketTest, LastLineQueuedBeforeCloseStillArrives) {
  auto user = ConnectUser();
  stream.SendData("73 de gateway\r\n");
  stream.Close();
  ASSERT_TRUE(loop.RunUntil([&] {
    user->Pump();
    return user->Closed();
  }));
  EXPECT_EQ(user->Received(), "73 de gateway\r\n");
}

TEST_F(TcpSocketTest, CompletionsOfAnEarlierOccupantDoNotReachTheNextOne) {
  auto first = ConnectUser();
  first->Send("old");
  // Let the data reach the kernel, then end the occupant before the loop reads it.
  ASSERT_TRUE(loop.RunUntil([&] { return log.received[2] == "old"; }));
  first->Send("late");
  stream.Close();
  first->Close();
  auto second = ConnectUser();
  second->Send("new");
  ASSERT_TRUE(loop.RunUntil([&] { return log.received[2] == "oldnew"; }));
  loop.Poll();
  EXPECT_EQ(log.received[2], "oldnew");
  EXPECT_EQ(stream.State(), SocketState::kConnected);
  EXPECT_EQ(std::count(log.events.begin(), log.events.end(), "close 2"), 0);
}

TEST_F(TcpSocketTest, RequestThatIsNotAcceptedIsClosedAndListeningGoesOn) {
  log.on_request = nullptr;
  TestPeer refused(listener.LocalPort());
  ASSERT_TRUE(loop.RunUntil([&] {
    refused.Pump();
    return refused.Closed();
  }));
  EXPECT_EQ(refused.Received(), "");
  EXPECT_EQ(listener.State(), SocketState::kListening);

  log.on_request = [this](int, PendingConnection& request) { stream.Accept(request); };
  auto user = ConnectUser();
  EXPECT_EQ(stream.State(), SocketState::kConnected);
}

TEST_F(TcpSocketTest, ListenerClosedInsideItsRequestCanAcceptOnItself) {
  // One socket that stops listening and takes the caller itself, as the cluster link does.
  log.on_request = [this](int, PendingConnection& request) {
    listener.Close();
    listener.Accept(request);
  };
  TestPeer caller(listener.LocalPort());
  ASSERT_TRUE(loop.RunUntil([&] { return listener.State() == SocketState::kConnected; }));
  caller.Send("ZQ Cluster");
  ASSERT_TRUE(loop.RunUntil([&] { return log.received[1] == "ZQ Cluster"; }));
}

TEST_F(TcpSocketTest, SecondListenOnATakenPortFails) {
  TcpSocket other(loop.io, log, 3, 1024);
  other.SetLocalPort(listener.LocalPort());
  try {
    other.Listen();
    FAIL() << "listening twice on one port";
  } catch (const RunTimeError& error) {
    EXPECT_EQ(error.Number(), 10048);
    EXPECT_EQ(error.Description(), "Address in use");
  }
  EXPECT_EQ(other.State(), SocketState::kClosed);
}

TEST_F(TcpSocketTest, OutgoingConnectionConnectsOrReportsTheRefusal) {
  TcpSocket outgoing(loop.io, log, 4, 1024);
  outgoing.Connect("127.0.0.1", listener.LocalPort());
  EXPECT_EQ(outgoing.State(), SocketState::kConnecting);
  ASSERT_TRUE(loop.RunUntil([&] {
    return outgoing.State() == SocketState::kConnected && stream.State() == SocketState::kConnected;
  }));
  EXPECT_NE(std::find(log.events.begin(), log.events.end(), "connect 4"), log.events.end());
  outgoing.SendData("raw");
  ASSERT_TRUE(loop.RunUntil([&] { return log.received[2] == "raw"; }));

  TcpSocket refused(loop.io, log, 5, 1024);
  refused.Connect("127.0.0.1", FreePorts(1)[0]);
  ASSERT_TRUE(loop.RunUntil([&] { return refused.State() == SocketState::kError; }));
  ASSERT_TRUE(loop.RunUntil([&] { return log.events.back() == "error 5 10061"; }));
}

TEST_F(TcpSocketTest, SocketDestroyedWithWorkPendingIsNotTouchedAgain) {
  auto doomed = std::make_unique<TcpSocket>(loop.io, log, 6, 1024);
  doomed->SetLocalPort(0);
  doomed->Listen();
  TestPeer caller(doomed->LocalPort());
  doomed.reset();
  loop.Poll();
  EXPECT_TRUE(std::find(log.events.begin(), log.events.end(), "request 6") == log.events.end());
}

}  // namespace
}  // namespace velgate::testing
