#pragma once
// A running gateway for fuzz targets: a temporary folder, free loopback ports, virtual time.
// Each input is cut into blocks whose size its first byte chooses, so messages and commands are
// split at every kind of place.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "TempFolder.h"
#include "TestLoop.h"
#include "TestPeer.h"
#include "app/Gateway.h"

namespace velgate::testing {

struct FuzzGateway {
  TempFolder folder;
  TestLoop loop;
  std::unique_ptr<Gateway> gateway;

  FuzzGateway() {
    const std::vector<int> ports = FreePorts(3);
    folder.Write("Velgate.cfg",
                 "\"ClusterPort\"," + std::to_string(ports[0]) + "\r\n\"UserPort\",\"" +
                     std::to_string(ports[1]) + "\"\r\n\"MonitorPort\",\"" +
                     std::to_string(ports[2]) +
                     "\"\r\n\"ClusterAllow\",\"127.\"\r\n\"MonitorAllow\",\"127.\"\r\n");
    Start();
  }
  /// A new gateway in place of the last (what the rules add up, such as lock-outs, is dropped).
  void Start() {
    gateway.reset();
    gateway = std::make_unique<Gateway>(loop.io, loop.clock, loop.timers,
                                        GatewayOptions{folder.Path(), false});
    gateway->FormLoad();
    loop.AdvanceMs(250);
  }
};

/// Hands the input after its first byte to receive in blocks of 1 to 16 bytes.
inline void InBlocks(const std::uint8_t* data, std::size_t size,
                     const std::function<void(std::string_view)>& receive) {
  if (size == 0) return;
  const std::size_t block = static_cast<std::size_t>(data[0] % 16) + 1;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  while (!bytes.empty()) {
    const std::size_t take = block < bytes.size() ? block : bytes.size();
    receive(bytes.substr(0, take));
    bytes.remove_prefix(take);
  }
}

}  // namespace velgate::testing
