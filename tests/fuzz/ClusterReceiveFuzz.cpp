// Fuzz target: whatever the cluster sends, in blocks of any size, reaches a running gateway's
// receive loop. Nothing may crash, read outside the stream table or hang.

#include "FuzzGateway.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static velgate::testing::FuzzGateway harness;
  velgate::testing::InBlocks(data, size, [](std::string_view block) {
    if (!harness.gateway->IsShutDown()) harness.gateway->Link().ReceiveBlock(block);
  });
  harness.loop.Poll();
  if (harness.gateway->IsShutDown()) harness.Start();
  return 0;
}
