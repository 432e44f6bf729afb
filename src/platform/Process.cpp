#include "platform/Process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

extern char** environ;

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

void OpenInBrowser(const std::string& address) {
  // The opener runs detached; its exit is not awaited and its failure is not reported.
  static bool children_reaped = [] {
    std::signal(SIGCHLD, SIG_IGN);
    return true;
  }();
  (void)children_reaped;
  if (access("/usr/bin/xdg-open", X_OK) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {"xdg-open", address.c_str(), nullptr};
  pid_t child = 0;
  posix_spawn(&child, "/usr/bin/xdg-open", &actions, nullptr, const_cast<char* const*>(argv),
              environ);
  posix_spawn_file_actions_destroy(&actions);
}

}  // namespace velgate
