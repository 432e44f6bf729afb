// Fuzz target: whatever the cluster sends, in blocks of any size, reaches a running gateway's
// receive loop. Nothing may crash, read outside the stream table or hang.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "TempFolder.h"
#include "TestLoop.h"
#include "app/Gateway.h"

namespace {

struct Harness {
  velgate::testing::TempFolder folder;
  velgate::testing::TestLoop loop;
  std::unique_ptr<velgate::Gateway> gateway;

  Harness() {
    // No listeners: every port is one the system would refuse to a second listener anyway.
    folder.Write("Velgate.cfg",
                 "\"ClusterPort\",-1\r\n\"UserPort\",\"-1\"\r\n\"MonitorPort\",\"-1\"\r\n");
    Start();
  }
  void Start() {
    gateway.reset();
    gateway = std::make_unique<velgate::Gateway>(loop.io, loop.clock, loop.timers,
                                                 velgate::GatewayOptions{folder.Path(), false});
    gateway->FormLoad();
    loop.AdvanceMs(250);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Harness harness;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The first byte chooses the block size, so messages are split at every kind of place.
  std::size_t block = size == 0 ? 1 : static_cast<std::size_t>(data[0] % 16) + 1;
  while (!bytes.empty() && !harness.gateway->IsShutDown()) {
    std::size_t take = block < bytes.size() ? block : bytes.size();
    harness.gateway->Link().ReceiveBlock(bytes.substr(0, take));
    bytes.remove_prefix(take);
  }
  harness.loop.Poll();
  if (harness.gateway->IsShutDown()) harness.Start();
  return 0;
}
