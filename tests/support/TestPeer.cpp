#include "TestPeer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace velgate::testing {
namespace {

sockaddr_in Address(const std::string& ip, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
  return address;
}

}  // namespace

std::vector<int> FreePorts(int n) {
  // Below 32768: the cluster port is a 16-bit setting, so the system's ephemeral ports will not do.
  static unsigned seed = static_cast<unsigned>(::getpid()) * 7919u;
  std::vector<int> fds;
  std::vector<int> ports;
  while (static_cast<int>(ports.size()) < n) {
    seed = seed * 1103515245u + 12345u;
    int port = 20000 + static_cast<int>((seed >> 8) % 12000);
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Address("0.0.0.0", port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd);
      continue;
    }
    ports.push_back(port);
    fds.push_back(fd);
  }
  for (int fd : fds) ::close(fd);
  return ports;
}

bool PortAnswers(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Address("127.0.0.1", port);
  bool answered = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return answered;
}

TestPeer::TestPeer(int port, const std::string& source_address) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in source = Address(source_address, 0);
  sockaddr_in target = Address("127.0.0.1", port);
  int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0 ||
      ::connect(fd_, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

TestPeer::~TestPeer() {
  Close();
}

int TestPeer::LocalPort() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

void TestPeer::Send(std::string_view bytes) {
  while (fd_ >= 0 && !bytes.empty()) {
    ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

bool TestPeer::Pump() {
  if (fd_ < 0 || closed_) return false;
  bool changed = false;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
    if (got > 0) {
      received_.append(buffer, static_cast<std::size_t>(got));
      changed = true;
      continue;
    }
    if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
      closed_ = true;
      changed = true;
    }
    return changed;
  }
}

void TestPeer::Reset() {
  if (fd_ < 0) return;
  linger abort{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  Close();
}

void TestPeer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace velgate::testing
