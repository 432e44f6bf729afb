#pragma once
// Puts a user connection straight onto a chosen stream of a running gateway, bypassing
// admission, so that tests can set up streams in any state.

#include <memory>
#include <string>

#include "TestLoop.h"
#include "TestPeer.h"
#include "app/Gateway.h"
#include "platform/TcpSocket.h"

namespace velgate::testing {

class StreamSeeder final : private TcpSocketEvents {
 public:
  explicit StreamSeeder(TestLoop& loop);

  /// A user connected from source onto stream s; the stream's socket is connected on return.
  std::unique_ptr<TestPeer> Connect(Gateway& gateway, int s,
                                    const std::string& source = "127.0.0.1");

 private:
  void OnConnectionRequest(int index, PendingConnection& request) override;
  void OnDataArrival(int, std::string_view) override {}
  void OnConnect(int) override {}
  void OnClose(int) override {}
  void OnError(int, const RunTimeError&) override {}

  TestLoop& loop_;
  TcpSocket listener_;
  TcpSocket* target_ = nullptr;
};

}  // namespace velgate::testing
