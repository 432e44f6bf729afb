#pragma once
// A gateway with its control socket open in the test's folder, and clients that ask it.

#include <algorithm>
#include <memory>
#include <string>

#include "GatewayFixture.h"
#include "control/ControlServer.h"

namespace velgate::testing {

class ControlFixture : public GatewayFixture {
 protected:
  void OpenControl() {
    control =
        std::make_unique<ControlServer>(loop.io, loop.clock, loop.timers, *gateway, gateway->Log());
    ASSERT_TRUE(control->Open(SocketPath()));
  }
  std::string SocketPath() const { return folder.File("velgated.sock"); }
  /// A client that has sent line; its reply is complete once it ends as replies end.
  std::unique_ptr<TestPeer> Asking(const std::string& line) {
    auto client = TestPeer::Local(SocketPath());
    client->Send(line + "\n");
    return client;
  }
  static bool Complete(const std::string& reply, bool json) {
    if (json) return reply.ends_with("\n");
    const std::size_t last = reply.rfind('\n', reply.size() < 2 ? 0 : reply.size() - 2);
    const std::string tail = reply.substr(last == std::string::npos ? 0 : last + 1);
    return tail == "ok\n" || tail.starts_with("error: ");
  }
  std::string Reply(TestPeer& client, bool json = false) {
    loop.RunUntil(
        [&] { return client.Pump(), client.Closed() || Complete(client.Received(), json); });
    return client.Received();
  }
  std::string Ask(const std::string& line) {
    auto client = Asking(line);
    return Reply(*client, line.starts_with("json"));
  }
  Texts CurrentLockOuts() { return gateway->LockOutList(); }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  std::unique_ptr<ControlServer> control;
};

}  // namespace velgate::testing
