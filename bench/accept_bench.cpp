// Accept benchmark: with N users already connected (nine to an address), how fast further
// connection requests are served, each counted when the cluster hears its AA03. Loopback only;
// it ends by itself.
//
//   velgate_accept_bench [connected] [new callers]      (defaults 5000 and 1000)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "GatewayOnThread.h"
#include "platform/Process.h"

namespace {

using Clock = std::chrono::steady_clock;
using velgate::testing::TestPeer;

std::string Address(int caller) {
  const int address = caller / 9;
  return "127." + std::to_string(1 + address / 62500) + "." + std::to_string(address / 250 % 250) +
         "." + std::to_string(1 + address % 250);
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

// Connects callers [from, to) and waits until the cluster has announced them all.
double Connect(int from, int to, int port, TestPeer& cluster,
               std::vector<std::unique_ptr<TestPeer>>& callers) {
  const auto start = Clock::now();
  for (int caller = from; caller < to; ++caller)
    callers.push_back(std::make_unique<TestPeer>(port, Address(caller)));
  const auto deadline = Clock::now() + std::chrono::seconds(120);
  while (Count(cluster.Received(), "AA03^") < static_cast<std::size_t>(to - from)) {
    if (Clock::now() > deadline) return -1;
    if (!cluster.Pump()) std::this_thread::yield();
  }
  cluster.ClearReceived();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int connected = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int fresh = argc > 2 ? std::atoi(argv[2]) : 1000;
  velgate::RaiseOpenFilesLimit();
  velgate::testing::GatewayOnThread gateway(connected + fresh);
  TestPeer& cluster = gateway.Cluster();
  const int port = gateway.UserPort();

  std::vector<std::unique_ptr<TestPeer>> callers;
  const double few = Connect(0, fresh, port, cluster, callers);
  const double filling = Connect(fresh, connected, port, cluster, callers);
  const double many = Connect(connected, connected + fresh, port, cluster, callers);
  gateway.Stop();
  std::printf("%d callers with none connected: %.0f accepts/s\n", fresh, fresh / few);
  std::printf("filling to %d: %.3f s\n", connected, filling);
  std::printf("%d callers with %d connected: %.0f accepts/s (ratio to none connected %.2f)\n",
              fresh, connected, fresh / many, few / many);
  return few > 0 && many > 0 ? 0 : 1;
}
