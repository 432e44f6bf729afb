// Fuzz target: whatever a monitor client sends reaches the monitor's command interpreter, with
// the feed storing, so every command's messages are built and queued.

#include "FuzzGateway.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static velgate::testing::FuzzGateway harness;
  velgate::MonitorPort& monitor = harness.gateway->Monitor();
  monitor.Feed().SockState = velgate::SocketState::kConnected;
  velgate::testing::InBlocks(data, size,
                             [&](std::string_view block) { monitor.ReceiveBlock(block); });
  for (std::string message; monitor.Feed().TakeNext(message);) {
  }
  harness.loop.Poll();
  return 0;
}
