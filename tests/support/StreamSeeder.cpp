#include "StreamSeeder.h"

#include <gtest/gtest.h>

namespace velgate::testing {

StreamSeeder::StreamSeeder(TestLoop& loop) : loop_(loop), listener_(loop.io, *this, 0, 1024) {
  listener_.SetLocalPort(0);
  listener_.Listen();
}

std::unique_ptr<TestPeer> StreamSeeder::Connect(Gateway& gateway, int s,
                                                const std::string& source) {
  target_ = &gateway.Streams().Socket(s);
  auto peer = std::make_unique<TestPeer>(listener_.LocalPort(), source);
  EXPECT_TRUE(loop_.RunUntil([&] { return target_->State() == SocketState::kConnected; }));
  target_ = nullptr;
  return peer;
}

void StreamSeeder::OnConnectionRequest(int, PendingConnection& request) {
  if (target_ != nullptr) target_->Accept(request);
}

}  // namespace velgate::testing
