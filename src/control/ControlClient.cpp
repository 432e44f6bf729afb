#include "control/ControlClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace velgate {
namespace {

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

bool SendAll(int fd, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t written = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    sent += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

bool EndsTextReply(const std::string& line) {
  return line == "ok" || line.starts_with("error: ");
}

ControlAnswer AskGateway(const std::string& path, const std::string& request, int timeout_ms) {
  ControlAnswer answer;
  const auto fail = [&](const std::string& reason) {
    answer.failure = "cannot reach the gateway at " + path + ": " + reason;
    return answer;
  };
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) return fail("path too long");
  std::memcpy(address.sun_path, path.data(), path.size());
  Descriptor socket{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  if (socket.fd < 0) return fail(std::strerror(errno));
  if (::connect(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return fail(std::strerror(errno));
  if (!SendAll(socket.fd, request + "\n")) return fail(std::strerror(errno));
  const bool json = request.starts_with("json ");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string pending;
  for (;;) {
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (json) {
        answer.reached = true;
        answer.ok = line.starts_with("{\"ok\":true");
        answer.lines.push_back(std::move(line));
        return answer;
      }
      if (EndsTextReply(line)) {
        answer.reached = true;
        answer.ok = line == "ok";
        if (!answer.ok) answer.error = line.substr(7);
        return answer;
      }
      answer.lines.push_back(std::move(line));
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd wait{socket.fd, POLLIN, 0};
    const int ready = left.count() > 0 ? ::poll(&wait, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return fail("no answer within " + std::to_string(timeout_ms / 1000) + " s");
    char buffer[65536];
    const ssize_t received = ::recv(socket.fd, buffer, sizeof buffer, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received < 0) return fail(std::strerror(errno));
    if (received == 0) {
      // A caller the gateway does not serve is closed without a byte.
      if (answer.lines.empty() && pending.empty())
        return fail(
            "closed without an answer (only root and the gateway's own user or group "
            "are served)");
      return fail("the answer broke off");
    }
    pending.append(buffer, static_cast<std::size_t>(received));
  }
}

}  // namespace velgate
