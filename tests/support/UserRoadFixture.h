#pragma once
// A started gateway with a fake cluster server that has gone online, and users who connect
// from chosen 127.0.0.x addresses: the whole road of a user connection on loopback.

#include <memory>
#include <string>
#include <vector>

#include "GatewayFixture.h"

namespace velgate::testing {

/// Upstream message text: fields joined by "^" and Chr(3).
std::string Up(std::initializer_list<std::string> fields);
/// Downstream message text: fields joined by Chr(3) and Chr(4).
std::string Down(std::initializer_list<std::string> fields);

class UserRoadFixture : public GatewayFixture {
 protected:
  /// Starts the gateway with the standard settings plus extra records; the cluster goes online.
  void StartOnline(std::initializer_list<std::string> extra = {});
  /// Starts the gateway; no cluster server connects.
  void StartOffline(std::initializer_list<std::string> extra = {});
  /// Connects the fake cluster server and sends the ready word; what it received is forgotten.
  void ConnectCluster();

  /// A user connected to the first user port from source; waits until its stream is admitted.
  std::unique_ptr<TestPeer> ConnectUser(const std::string& source = "127.0.0.1", int port = 0);
  /// The stream the last admitted user got (the highest connection number).
  int LastStream() const;
  /// A user on stream s logged in by the cluster with code 6; cluster output forgotten.
  std::unique_ptr<TestPeer> LoggedInUser(const std::string& call,
                                         const std::string& source = "127.0.0.1");

  /// Runs the loop for a short while so traffic in flight arrives, then reads every peer.
  void Settle();
  /// What the peer has received, after the loop had a moment to deliver it.
  std::string Settled(TestPeer& peer);
  /// What the cluster has received since the last call (after Settle).
  std::string ClusterGot();
  /// Waits until the cluster has received at least n bytes; returns them and forgets them.
  std::string ClusterWaitFor(std::size_t n);
  /// Waits until the user has received n bytes; returns them and forgets them.
  std::string UserWaitFor(TestPeer& user, std::size_t n);
  /// Sends downstream messages as the cluster server.
  void ClusterSends(const std::string& bytes) { cluster->Send(bytes); }

  StreamTable& Table() { return gateway->Streams(); }
  const StatusRow& Row(int s) { return gateway->View().Row(s); }

  std::unique_ptr<TestPeer> cluster;
};

}  // namespace velgate::testing
