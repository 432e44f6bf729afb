// Load tool: N users, each logged in, send L lines through a running gateway to a fake cluster
// server; the time until the cluster has every line is compared with a baseline measured in the
// same run: the same lines over N plain loopback connections into one reader, no gateway between.
// Loopback only; it ends by itself.
//
//   velgate_load [users] [lines per user]      (defaults 200 and 200)

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "GatewayOnThread.h"

namespace {

using Clock = std::chrono::steady_clock;
using velgate::testing::TestPeer;

std::string Line(int user, int n) {
  return "sh/dx " + std::to_string(user) + " " + std::to_string(n) + "\r\n";
}

// Reads from peer until it holds at least n bytes or the time is up.
bool ReadAtLeast(TestPeer& peer, std::size_t n, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  while (peer.Received().size() < n) {
    if (Clock::now() > deadline || peer.Closed()) return false;
    if (!peer.Pump()) std::this_thread::yield();
  }
  return true;
}

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// The same lines over plain loopback connections into one reader thread.
double Baseline(int users, int lines, std::size_t total_bytes) {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, asio::ip::tcp::endpoint(asio::ip::tcp::v4(), 0));
  const int port = acceptor.local_endpoint().port();
  std::vector<std::unique_ptr<TestPeer>> senders;
  std::vector<asio::ip::tcp::socket> receivers;
  for (int u = 0; u < users; ++u) {
    senders.push_back(std::make_unique<TestPeer>(port));
    receivers.push_back(acceptor.accept());
  }
  const auto start = Clock::now();
  std::thread reader([&] {
    std::size_t got = 0;
    std::vector<char> buffer(65536);
    while (got < total_bytes) {
      for (auto& socket : receivers) {
        std::error_code error;
        if (socket.available(error) > 0) got += socket.read_some(asio::buffer(buffer), error);
      }
    }
  });
  for (int n = 0; n < lines; ++n) {
    for (int u = 0; u < users; ++u) senders[static_cast<std::size_t>(u)]->Send(Line(u, n));
  }
  reader.join();
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const int users = argc > 1 ? std::atoi(argv[1]) : 200;
  const int lines = argc > 2 ? std::atoi(argv[2]) : 200;
  velgate::testing::GatewayOnThread gateway(users);
  TestPeer& cluster = gateway.Cluster();
  std::vector<std::unique_ptr<TestPeer>> clients;
  std::string confirmations;
  std::size_t announced = 0;
  for (int u = 0; u < users; ++u) {
    clients.push_back(
        std::make_unique<TestPeer>(gateway.UserPort(), "127.0.1." + std::to_string(1 + u % 250)));
    const std::string s = std::to_string(2 + u);
    announced +=
        ("AA02^2^" + std::to_string(users + 1) +
         "\x03"
         "AA03^Connect Request^" +
         s + "^3^127.0.1." + std::to_string(1 + u % 250) + "^1^" + std::to_string(u + 1) + "\x03")
            .size();
    confirmations += "5\x03" + s + "\x03U" + s + "\x04";
  }
  if (!ReadAtLeast(cluster, announced, std::chrono::seconds(30))) {
    std::fprintf(stderr, "the users were not all announced: %zu of %zu bytes\n",
                 cluster.Received().size(), announced);
    return 1;
  }
  cluster.ClearReceived();
  // Every user logged in: the cluster hears one AA04 for each.
  cluster.Send(confirmations);
  const auto acknowledged = [&] {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = cluster.Received().find("AA04^", at)) != std::string::npos; ++at)
      ++count;
    return count;
  };
  while (acknowledged() < static_cast<std::size_t>(users)) cluster.Pump();
  cluster.ClearReceived();

  std::size_t line_bytes = 0;
  for (int n = 0; n < lines; ++n) {
    for (int u = 0; u < users; ++u) line_bytes += Line(u, n).size();
  }
  const auto start = Clock::now();
  for (int n = 0; n < lines; ++n) {
    for (int u = 0; u < users; ++u) clients[static_cast<std::size_t>(u)]->Send(Line(u, n));
  }
  // Lines that arrive together go up together: count line ends, not messages.
  const std::size_t expected_lines =
      static_cast<std::size_t>(users) * static_cast<std::size_t>(lines);
  std::size_t arrived = 0;
  std::size_t counted = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(120);
  while (arrived < expected_lines && Clock::now() < deadline) {
    if (!cluster.Pump()) std::this_thread::yield();
    const std::string& got = cluster.Received();
    for (std::size_t at = got.find("\r\n", counted); at != std::string::npos;
         at = got.find("\r\n", at + 2)) {
      ++arrived;
      counted = at + 2;
    }
  }
  const bool all = arrived == expected_lines;
  const double through_gateway = Seconds(start);
  gateway.Stop();

  const double baseline = Baseline(users, lines, line_bytes);
  std::printf("users %d, lines %d each: %s\n", users, lines, all ? "all arrived" : "LINES MISSING");
  std::printf("through the gateway %.3f s, %.0f lines/s\n", through_gateway,
              users * lines / through_gateway);
  std::printf("baseline (plain loopback) %.3f s\n", baseline);
  std::printf("ratio gateway/baseline %.2f\n", through_gateway / baseline);
  return all ? 0 : 1;
}
