// Accept benchmark: with N users already connected (nine to an address), how fast further
// connection requests are served, each counted when the cluster hears its AA03. Loopback only;
// it ends by itself.
//
//   velgate_accept_bench [connected] [new callers]      (defaults 5000 and 1000)

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "TestPeer.h"
#include "app/Gateway.h"
#include "platform/AsioTimerDriver.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "platform/TimerQueue.h"

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
  velgate::testing::TempFolder folder;
  std::vector<int> ports = velgate::testing::FreePorts(3);
  folder.Write("Velgate.cfg", "\"ClusterPort\"," + std::to_string(ports[0]) +
                                  "\r\n\"UserPort\",\"" + std::to_string(ports[1]) +
                                  "\"\r\n\"MonitorPort\",\"" + std::to_string(ports[2]) +
                                  "\"\r\n\"PreLoad\"," + std::to_string(connected + fresh) +
                                  "\r\n");
  asio::io_context io;
  velgate::SystemClock clock;
  velgate::TimerQueue timers(clock);
  velgate::AsioTimerDriver driver(io, timers);
  velgate::Gateway gateway(io, clock, timers, velgate::GatewayOptions{folder.Path(), false});
  gateway.FormLoad();
  auto work = asio::make_work_guard(io);
  std::thread loop([&] { io.run(); });
  while (!velgate::testing::PortAnswers(ports[2])) std::this_thread::yield();
  std::unique_ptr<TestPeer> cluster;
  do cluster = std::make_unique<TestPeer>(ports[0]);
  while (!cluster->Connected());
  cluster->Send("7261");
  while (cluster->Received().find("AA18^") == std::string::npos) cluster->Pump();
  cluster->ClearReceived();

  std::vector<std::unique_ptr<TestPeer>> callers;
  const double few = Connect(0, fresh, ports[1], *cluster, callers);
  const double filling = Connect(fresh, connected, ports[1], *cluster, callers);
  const double many = Connect(connected, connected + fresh, ports[1], *cluster, callers);
  work.reset();
  asio::post(io, [&] {
    gateway.CloseByProgram();
    io.stop();
  });
  loop.join();
  std::printf("%d callers with none connected: %.0f accepts/s\n", fresh, fresh / few);
  std::printf("filling to %d: %.3f s\n", connected, filling);
  std::printf("%d callers with %d connected: %.0f accepts/s (ratio to none connected %.2f)\n",
              fresh, connected, fresh / many, few / many);
  return few > 0 && many > 0 ? 0 : 1;
}
