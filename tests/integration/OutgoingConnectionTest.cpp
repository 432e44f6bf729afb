// Outgoing connections: the cluster's code 9 opens a TCP connection on a free stream, reported
// with AA06 when it starts and AA38 when it is made; its data then travels raw, block by block.

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/write.hpp>

#include "UserRoadFixture.h"

namespace velgate::testing {
namespace {

using asio::ip::tcp;

// The host the cluster names: a plain listener on loopback that takes the gateway's connection
// and talks raw bytes, without running the gateway's loop itself.
class FarEnd {
 public:
  FarEnd() : acceptor_(io_, tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), 0)) {
    acceptor_.non_blocking(true);
  }

  std::string Port() const { return std::to_string(acceptor_.local_endpoint().port()); }

  // The system completes the connection on its own; this only picks it up.
  bool Accept(TestLoop& loop) {
    const bool accepted = loop.RunUntil([&] {
      std::error_code error;
      acceptor_.accept(socket_, error);
      return !error;
    });
    if (accepted) socket_.non_blocking(true);
    return accepted;
  }

  void Send(std::string_view bytes) { asio::write(socket_, asio::buffer(bytes)); }

  void Pump() {
    char buffer[4096];
    for (;;) {
      std::error_code error;
      const std::size_t n = socket_.read_some(asio::buffer(buffer), error);
      if (error == asio::error::would_block || error == asio::error::try_again) return;
      if (error) {
        closed_ = true;
        return;
      }
      received_.append(buffer, n);
    }
  }

  // Runs the gateway's loop until n bytes have arrived; returns and forgets them.
  std::string WaitFor(TestLoop& loop, std::size_t n) {
    loop.RunUntil([&] {
      Pump();
      return received_.size() >= n || closed_;
    });
    return Settled(loop);
  }

  // What has arrived after the loop had a moment to deliver it; for "nothing came".
  std::string Settled(TestLoop& loop) {
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(30));
    Pump();
    std::string got;
    got.swap(received_);
    return got;
  }

  bool Closed() const { return closed_; }

 private:
  asio::io_context io_;
  tcp::acceptor acceptor_;
  tcp::socket socket_{io_};
  std::string received_;
  bool closed_ = false;
};

class OutgoingConnection : public UserRoadFixture {
 protected:
  static std::string Order(const std::string& port) {
    return Down({"9", "G1ABC", "127.0.0.1", port});
  }
  static std::string AA06(int s, int connection) {
    return Up({"AA06", "Outgoing Connect Request to G1ABC", std::to_string(s), "3", "127.0.0.1",
               "0", std::to_string(connection)});
  }
  static std::string AA38(int s) {
    return Up({"AA38", "G1ABC", std::to_string(s), "2", "127.0.0.1", ""});
  }
  static std::string Ended(int s) { return Up({"AA17", "G1ABC", std::to_string(s), "0"}); }

  bool WaitForSocket(int s, SocketState state) {
    // The stream may not exist yet: the order can grow the table.
    return loop.RunUntil(
        [&] { return Table().StreamMax() >= s && Table().Socket(s).State() == state; });
  }

  // A stream whose order has been carried out: connected, picked up by far, reports read.
  void Connected(FarEnd& far, int s, int connection) {
    ClusterSends(Order(far.Port()));
    ASSERT_TRUE(WaitForSocket(s, SocketState::kConnected));
    ASSERT_TRUE(far.Accept(loop));
    ASSERT_EQ(ClusterWaitFor(AA06(s, connection).size() + AA38(s).size()),
              AA06(s, connection) + AA38(s));
  }
};

TEST_F(OutgoingConnection, OrderIsReportedConnectedAndShown) {
  StartOnline();
  FarEnd far;
  ClusterSends(Order(far.Port()));
  // Caught while it connects: shown yellow, waiting in state 2, without a login timer.
  ASSERT_TRUE(loop.RunUntil([&] { return Table().Socket(2).State() != SocketState::kClosed; }));
  EXPECT_EQ(Table().Socket(2).State(), SocketState::kConnecting);
  EXPECT_EQ(Row(2).address.colour, colours::kYellow);
  EXPECT_EQ(Row(2).call.colour, colours::kYellow);
  EXPECT_EQ(Table().StreamState[2], 2);
  EXPECT_FALSE(Table().StreamLineMode[2]);
  EXPECT_FALSE(Table().tmrDisconnect[2].Enabled());
  EXPECT_EQ(Table().StreamConnID[2], 1);

  ASSERT_TRUE(WaitForSocket(2, SocketState::kConnected));
  EXPECT_EQ(ClusterWaitFor(AA06(2, 1).size() + AA38(2).size()), AA06(2, 1) + AA38(2));
  EXPECT_EQ(Row(2).address.text, "127.0.0.1");
  EXPECT_EQ(Row(2).address.tag, "0");
  EXPECT_EQ(Row(2).port.text, far.Port());
  EXPECT_EQ(Row(2).call.text, "G1ABC");
  EXPECT_EQ(Row(2).address.colour, colours::kCyan);
  EXPECT_EQ(Row(2).call.colour, colours::kGreen);
  // Established is not confirmed: only the cluster's code 4, 5 or 6 makes it 7.
  EXPECT_EQ(Table().StreamState[2], 2);
  EXPECT_FALSE(Table().tmrDisconnect[2].Enabled());
  EXPECT_TRUE(far.Accept(loop));
  EXPECT_EQ(far.Settled(loop), "");
  EXPECT_EQ(ErrorLogText(), "");
}

TEST_F(OutgoingConnection, DataTravelsRawBlockByBlockBothWays) {
  StartOnline();
  FarEnd far;
  Connected(far, 2, 1);

  far.Send("login: ");
  EXPECT_EQ(ClusterWaitFor(15), Up({"AA03", "2", "login: "}));
  // Telnet commands and half lines are not this stream's business: each block goes up whole.
  const std::string block = std::string("\xff\xfd\x18") + "DX de G4XYZ: 14025.0\r\nhalf";
  far.Send(block);
  EXPECT_EQ(ClusterWaitFor(8 + block.size()), Up({"AA03", "2", block}));

  ClusterSends(Down({"6", "2"}));
  ASSERT_TRUE(loop.RunUntil([&] { return Table().StreamState[2] == 7; }));
  far.Send("a\x03z");
  EXPECT_EQ(ClusterWaitFor(11), Up({"AA00", "2", "a\x02z"}));
  far.Send("\r\n");
  EXPECT_EQ(ClusterWaitFor(10), Up({"AA00", "2", "\r\n"}));
  EXPECT_FALSE(Table().StreamLineMode[2]);

  ClusterSends(Down({"0", "2", "G4XYZ de G1ABC\r\n"}));
  EXPECT_EQ(far.WaitFor(loop, 16), "G4XYZ de G1ABC\r\n");
  ClusterSends(Down({"0", "2", "\xff\xfb\x01"}));
  EXPECT_EQ(far.WaitFor(loop, 3), "\xff\xfb\x01");
  EXPECT_FALSE(far.Closed());
}

TEST_F(OutgoingConnection, OfflineClusterHearsNoAA06ButStillTheAA38) {
  StartOffline();
  cluster = std::make_unique<TestPeer>(cluster_port);
  ASSERT_TRUE(
      loop.RunUntil([&] { return gateway->VelgateCluster().State() == SocketState::kConnected; }));
  FarEnd far;
  ClusterSends(Order(far.Port()));
  ASSERT_TRUE(WaitForSocket(2, SocketState::kConnected));
  EXPECT_EQ(ClusterWaitFor(AA38(2).size()), AA38(2));
  EXPECT_FALSE(gateway->Link().ClusterOnline());
  EXPECT_EQ(Table().StreamState[2], 2);
  EXPECT_TRUE(far.Accept(loop));
  EXPECT_EQ(ErrorLogText(), "");
}

TEST_F(OutgoingConnection, RefusedConnectionIsReportedEndedAndFreesTheStream) {
  StartOnline();
  // Bound but not listening: a connection to it is refused.
  asio::io_context io;
  tcp::acceptor nobody(io);
  nobody.open(tcp::v4());
  nobody.bind(tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), 0));
  const std::string port = std::to_string(nobody.local_endpoint().port());

  ClusterSends(Order(port));
  EXPECT_EQ(ClusterWaitFor(AA06(2, 1).size() + Ended(2).size()), AA06(2, 1) + Ended(2));
  ASSERT_TRUE(WaitForSocket(2, SocketState::kClosed));
  EXPECT_EQ(Table().StreamState[2], 0);
  EXPECT_EQ(Table().StreamConnID[2], 0);
  EXPECT_EQ(Row(2).address.colour, colours::kWhite);
  EXPECT_EQ(Row(2).call.colour, colours::kWhite);
  EXPECT_EQ(Row(2).port.text, port);
  EXPECT_EQ(ErrorLogText(), "");

  auto user = ConnectUser("127.0.0.2");
  EXPECT_EQ(LastStream(), 2);
}

TEST_F(OutgoingConnection, PortFieldIsReadAsANumber) {
  StartOnline();
  // No number at all is port 0, which cannot be reached: the error path ends the stream.
  ClusterSends(Down({"9", "G1ABC", "127.0.0.1", "telnet"}));
  EXPECT_EQ(ClusterWaitFor(AA06(2, 1).size() + Ended(2).size()), AA06(2, 1) + Ended(2));
  EXPECT_EQ(Row(2).port.text, "0");
  ASSERT_TRUE(WaitForSocket(2, SocketState::kClosed));
  EXPECT_EQ(Table().StreamState[2], 0);
  EXPECT_EQ(ErrorLogText(), "");

  // Beyond 32 bits the order fails before it takes a stream or a connection number.
  ClusterSends(Down({"9", "G1ABC", "127.0.0.1", "99999999999"}));
  EXPECT_EQ(ClusterGot(), "");
  const std::string log = ErrorLogText();
  EXPECT_EQ(ErrorLogLines(), 1u);
  EXPECT_NE(log.find(" ConnectOut Overflow\"\r\n"), std::string::npos) << log;
  EXPECT_EQ(Table().LastConnID, 1);
  EXPECT_EQ(Table().Socket(2).State(), SocketState::kClosed);
}

TEST_F(OutgoingConnection, FullTableGrowsByFiveAndTheFirstNewStreamIsUsed) {
  StartOnline();
  std::vector<std::unique_ptr<TestPeer>> users;
  for (int i = 2; i <= 6; ++i) users.push_back(ConnectUser("127.0.0." + std::to_string(i)));
  ASSERT_EQ(Table().StreamMax(), 6);
  ClusterGot();

  FarEnd far;
  Connected(far, 7, 6);
  EXPECT_EQ(Table().StreamMax(), 11);
  for (int s = 8; s <= 11; ++s) EXPECT_EQ(Table().Socket(s).State(), SocketState::kClosed) << s;
  for (int s = 2; s <= 6; ++s) {
    EXPECT_EQ(Table().Socket(s).State(), SocketState::kConnected) << s;
  }
}

TEST_F(OutgoingConnection, LastOccupantsLoginTimerDoesNotEndTheOutgoingStream) {
  StartOnline();
  {
    // Connected, never logged in, gone after four of its five minutes.
    auto caller = ConnectUser("127.0.0.2");
    ASSERT_EQ(LastStream(), 2);
    ASSERT_EQ(Table().StreamState[2], 2);
    loop.AdvanceMs(240000);
    ASSERT_TRUE(Table().tmrDisconnect[2].Enabled());
    ASSERT_EQ(Table().StreamIdleTicks[2], 48);
    caller->Close();
    ASSERT_TRUE(WaitForSocket(2, SocketState::kClosed));
  }
  ClusterGot();

  FarEnd far;
  Connected(far, 2, 2);
  loop.AdvanceMs(301000);
  EXPECT_EQ(Table().Socket(2).State(), SocketState::kConnected);
  EXPECT_EQ(ClusterGot(), "");
  EXPECT_EQ(far.Settled(loop), "");
  EXPECT_FALSE(far.Closed());
  EXPECT_EQ(Table().StreamState[2], 2);
}

TEST_F(OutgoingConnection, OrderLeavesTheCurrentStreamAsItWas) {
  StartOnline();
  auto user = LoggedInUser("G4XYZ", "127.0.0.2");
  ClusterSends(Down({"0", "2", "first "}));
  EXPECT_EQ(UserWaitFor(*user, 6), "first ");
  ASSERT_EQ(gateway->Link().CurrentStream(), 2);

  FarEnd far;
  Connected(far, 3, 2);
  EXPECT_EQ(gateway->Link().CurrentStream(), 2);
  ClusterSends(Down({"6", "3"}));
  ASSERT_TRUE(loop.RunUntil([&] { return Table().StreamState[3] == 7; }));
  ClusterSends(Down({"0", "2", "to the user "}) + Order("1") + Down({"and more"}));
  // The text without a stream goes where the last numbered message went, not to stream 3 or 4.
  EXPECT_EQ(UserWaitFor(*user, 20), "to the user and more");
  EXPECT_EQ(far.Settled(loop), "");
  EXPECT_EQ(gateway->Link().CurrentStream(), 2);
}

}  // namespace
}  // namespace velgate::testing
