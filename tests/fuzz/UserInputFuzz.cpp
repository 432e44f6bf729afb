// Fuzz target: whatever a user sends reaches the input handler of a stream in each state (just
// announced, login sent, logged in, refused, raw). The second byte chooses the state.

#include "FuzzGateway.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static velgate::testing::FuzzGateway harness;
  static int runs = 0;
  // Nuisance lines add lock-outs; a fresh gateway now and then keeps the list short.
  if (++runs % 500 == 0) harness.Start();
  if (size < 2) return 0;
  using velgate::StreamState;
  const StreamState states[] = {StreamState::kAnnounced, StreamState::kLoginSent,
                                StreamState::kLoggedIn, StreamState::kRefused,
                                StreamState::kLoggedIn};
  const int choice = data[1] % 5;
  const int s = harness.gateway->CurrentSettings().FirstStreamIndex;
  harness.gateway->Streams().SetState(s, states[choice]);
  velgate::Stream& stream = harness.gateway->Streams().At(s);
  stream.line_mode = choice != 4;
  stream.held_input.clear();
  stream.telnet = velgate::TelnetFilterState{};
  velgate::testing::InBlocks(data + 1, size - 1, [&](std::string_view block) {
    harness.gateway->Users().ReceiveBlock(s, block);
  });
  harness.loop.Poll();
  return 0;
}
