#pragma once
// A real gateway in a temporary folder, on a test loop with virtual time, listening on free
// loopback ports written into its Velgate.cfg; for the road of a user connection, a fake cluster
// server and users who connect from chosen 127.0.0.x addresses.

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "TestLoop.h"
#include "TestPeer.h"
#include "app/Gateway.h"

namespace velgate::testing {

inline const std::string ETX = "\x03";
inline const std::string EOT = "\x04";
inline std::string N(int value) {
  return std::to_string(value);
}
/// Records as Velgate.cfg holds them, CR LF after each.
std::string ConfigLines(std::initializer_list<std::string> lines);
/// A record with a quoted port: "key","port".
inline std::string PortRecord(const std::string& key, int port) {
  return "\"" + key + "\",\"" + N(port) + "\"";
}
std::string Joined(std::initializer_list<std::string> fields, char between, char end);
/// Upstream message text: fields joined by "^", then Chr(3); downstream: by Chr(3), then Chr(4).
inline std::string Up(std::initializer_list<std::string> fields) {
  return Joined(fields, '^', '\x03');
}
inline std::string Down(std::initializer_list<std::string> fields) {
  return Joined(fields, '\x03', '\x04');
}
/// The messages that start with one of the prefixes.
std::vector<std::string> Starting(const std::vector<std::string>& messages,
                                  std::initializer_list<std::string> prefixes);

class GatewayFixture : public ::testing::Test {
 protected:
  ~GatewayFixture() override;

  /// One user port, cluster, bridge (off) and monitor ports, all free, plus extra records.
  std::string StandardConfig(std::initializer_list<std::string> extra = {}) const;
  /// Creates the gateway (closing the one before) and runs start-up past the 250 ms pause.
  Gateway& Start();
  std::string ErrorLogText() const { return folder.Read("error.log").value_or(""); }
  std::size_t ErrorLogLines() const;

  TempFolder folder;
  TestLoop loop;
  const std::vector<int> ports = FreePorts(5);
  const int user_port = ports[0], second_user_port = ports[1], cluster_port = ports[2],
            monitor_port = ports[3], bridge_port = ports[4];
  std::unique_ptr<Gateway> gateway;
  bool shut_down = false;
};

class UserRoadFixture : public GatewayFixture {
 protected:
  /// Starts with the standard settings plus extra records; no cluster server connects.
  void StartOffline(std::initializer_list<std::string> extra = {}) {
    folder.Write("Velgate.cfg", StandardConfig(extra));
    Start();
  }
  void StartOnline(std::initializer_list<std::string> extra = {}) {
    StartOffline(extra);
    ConnectCluster();
  }
  /// Connects the fake cluster server; online, it has sent the ready word and what it received
  /// is forgotten.
  void ConnectCluster(bool online = true);
  /// A user connected to port (the first user port when 0); waits until it is admitted.
  [[nodiscard]] std::unique_ptr<TestPeer> ConnectUser(const std::string& source = "127.0.0.1",
                                                      int port = 0);
  /// The stream the last admitted user got (the highest connection number).
  int LastStream();
  /// A user logged in by the cluster with code 6 and shown with call; cluster output forgotten.
  std::unique_ptr<TestPeer> LoggedInUser(const std::string& call, const std::string& source);

  /// Runs the loop a short while so traffic in flight arrives.
  void Settle() {
    loop.RunUntil([] { return false; }, std::chrono::milliseconds(30));
  }
  std::string Settled(TestPeer& peer) {
    Settle();
    peer.Pump();
    return peer.Received();
  }
  /// What the cluster has received since the last call, after a Settle.
  std::string ClusterGot() { return UserWaitFor(*cluster, 0); }
  /// Waits until the cluster (or user) has received n bytes; returns them and forgets them.
  std::string ClusterWaitFor(std::size_t n) { return UserWaitFor(*cluster, n); }
  std::string UserWaitFor(TestPeer& user, std::size_t n);
  /// Waits for exactly as many bytes as expected and compares them.
  ::testing::AssertionResult ClusterGets(const std::string& expected) {
    return UserGets(*cluster, expected);
  }
  ::testing::AssertionResult UserGets(TestPeer& user, const std::string& expected);
  void ClusterSends(const std::string& bytes) { cluster->Send(bytes); }

  bool WaitClosed(TestPeer& peer) {
    return loop.RunUntil([&] { return peer.Pump(), peer.Closed(); });
  }
  bool StillConnected(TestPeer& peer) { return Settled(peer), !peer.Closed(); }
  /// Waits until stream s exists and its socket is in the state.
  bool WaitSocket(int s, SocketState state) {
    return loop.RunUntil(
        [&] { return Table().StreamMax() >= s && Table().Socket(s).State() == state; });
  }
  bool WaitState(int s, StreamState state) {
    return loop.RunUntil([&] { return State(s) == state; });
  }
  std::vector<std::string> MonitorQueue();
  /// The monitor feed on as if a client were connected, watching stream s.
  void FeedOn(int s) {
    gateway->Monitor().Feed().MonitorActive = true;
    gateway->Monitor().Feed().SockState = SocketState::kConnected;
    gateway->Monitor().Feed().MonitoredStream = static_cast<std::int16_t>(s);
  }

  StreamTable& Table() { return gateway->Streams(); }
  StreamState& State(int s) { return Table().At(s).state; }
  const StatusRow& Row(int s) { return gateway->View().Row(s); }

  std::unique_ptr<TestPeer> cluster;
};

}  // namespace velgate::testing
