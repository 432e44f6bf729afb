#pragma once
// What a service manager hears from the program: ready, a status text, stopping, and the
// watchdog's "still alive" (systemd's sd_notify). Without a manager listening there is nothing
// to tell, and the program behaves as it always has.

#include <cstdint>
#include <memory>
#include <string>

namespace velgate {

class ServiceNotify {
 public:
  virtual ~ServiceNotify() = default;
  /// Sends one or more "NAME=value" lines (READY=1, STATUS=..., STOPPING=1, WATCHDOG=1).
  virtual void Notify(const std::string& state) = 0;
  /// The watchdog period the manager expects pings within, in ms; 0 when it has none.
  virtual std::int64_t WatchdogMs() const = 0;
};

/// The service manager this process runs under, or null when none listens (no NOTIFY_SOCKET,
/// or a build without libsystemd).
std::unique_ptr<ServiceNotify> SystemServiceNotify();

}  // namespace velgate
