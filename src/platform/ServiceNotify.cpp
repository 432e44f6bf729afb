#include "platform/ServiceNotify.h"

#include <cstdlib>

#ifdef VELGATE_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace velgate {

#ifdef VELGATE_HAVE_SYSTEMD
namespace {

class SystemdNotify final : public ServiceNotify {
 public:
  void Notify(const std::string& state) override { ::sd_notify(0, state.c_str()); }
  std::int64_t WatchdogMs() const override {
    std::uint64_t microseconds = 0;
    if (::sd_watchdog_enabled(0, &microseconds) <= 0) return 0;
    return static_cast<std::int64_t>(microseconds / 1000);
  }
};

}  // namespace

std::unique_ptr<ServiceNotify> SystemServiceNotify() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  if (socket == nullptr || *socket == '\0') return nullptr;
  return std::make_unique<SystemdNotify>();
}
#else
std::unique_ptr<ServiceNotify> SystemServiceNotify() {
  return nullptr;
}
#endif

}  // namespace velgate
