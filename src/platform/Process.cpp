#include "platform/Process.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>

namespace velgate {

std::string LocalIPv4Address() {
  ifaddrs* addresses = nullptr;
  std::string found = "127.0.0.1";
  if (getifaddrs(&addresses) != 0) return found;
  for (ifaddrs* entry = addresses; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    auto* address = reinterpret_cast<sockaddr_in*>(entry->ifa_addr);
    if ((ntohl(address->sin_addr.s_addr) >> 24) == 127) continue;
    char text[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
      found = text;
      break;
    }
  }
  freeifaddrs(addresses);
  return found;
}

bool WritableNow(int descriptor) {
  pollfd wanted{descriptor, POLLOUT, 0};
  return ::poll(&wanted, 1, 0) == 1 && (wanted.revents & POLLOUT) != 0;
}

bool RaiseOpenFilesLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur == limit.rlim_max) return true;
  limit.rlim_cur = limit.rlim_max;
  return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

bool RaiseProcessPriority() {
  return setpriority(PRIO_PROCESS, 0, -5) == 0;
}

}  // namespace velgate
