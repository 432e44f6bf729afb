#include "TestPeer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>

namespace velgate::testing {
namespace {

bool IsV6(const std::string& ip) {
  return ip.find(':') != std::string::npos;
}

int Call(int fd, const std::string& ip, int port, bool connect) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  if (IsV6(ip)) {
    auto& address = reinterpret_cast<sockaddr_in6&>(storage);
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET6, ip.c_str(), &address.sin6_addr);
    length = sizeof address;
  } else {
    auto& address = reinterpret_cast<sockaddr_in&>(storage);
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, ip.c_str(), &address.sin_addr);
    length = sizeof address;
  }
  const auto* a = reinterpret_cast<const sockaddr*>(&storage);
  return connect ? ::connect(fd, a, length) : ::bind(fd, a, length);
}

void NonBlocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

int LocalPortOf(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

}  // namespace

std::vector<int> FreePorts(int n) {
  static unsigned seed = static_cast<unsigned>(::getpid()) * 7919u;
  std::vector<int> fds, ports;
  while (static_cast<int>(ports.size()) < n) {
    seed = seed * 1103515245u + 12345u;
    const int port = 20000 + static_cast<int>((seed >> 8) % 12000);
    fds.push_back(::socket(AF_INET, SOCK_STREAM, 0));
    if (Call(fds.back(), "0.0.0.0", port, false) == 0) ports.push_back(port);
  }
  for (int fd : fds) ::close(fd);
  return ports;
}

bool PortAnswers(int port) {
  return TestPeer(port).Connected();
}

TestPeer::TestPeer(int port, const std::string& source_address)
    : fd_(::socket(IsV6(source_address) ? AF_INET6 : AF_INET, SOCK_STREAM, 0)) {
  int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const std::string target = IsV6(source_address) ? "::1" : "127.0.0.1";
  if (Call(fd_, source_address, 0, false) != 0 || Call(fd_, target, port, true) != 0) Close();
  NonBlocking(fd_);
}

std::unique_ptr<TestPeer> TestPeer::Local(const std::string& path) {
  std::unique_ptr<TestPeer> peer(new TestPeer);
  peer->fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  if (::connect(peer->fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    peer->Close();
  NonBlocking(peer->fd_);
  return peer;
}

int TestPeer::LocalPort() const {
  return LocalPortOf(fd_);
}

void TestPeer::Send(std::string_view bytes) {
  while (fd_ >= 0 && !bytes.empty()) {
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno != EAGAIN && errno != EINTR) return;
    if (sent > 0) bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
}

bool TestPeer::Pump() {
  bool changed = false;
  char buffer[65536];
  while (fd_ >= 0 && !closed_) {
    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) break;
    closed_ = got <= 0;
    reset_ = reset_ || (got < 0 && errno == ECONNRESET);
    if (got > 0) received_.append(buffer, static_cast<std::size_t>(got));
    changed = true;
  }
  return changed;
}

void TestPeer::Reset() {
  linger abort{1, 0};
  if (fd_ >= 0) ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  Close();
}

void TestPeer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

PortHolder::PortHolder(int port, const std::string& address)
    : fd_(::socket(IsV6(address) ? AF_INET6 : AF_INET, SOCK_STREAM, 0)) {
  int one = 1;
  ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  Call(fd_, address, port, false);
  ::listen(fd_, 8);
  NonBlocking(fd_);
}

int PortHolder::Port() const {
  return LocalPortOf(fd_);
}

std::unique_ptr<TestPeer> PortHolder::Accept() {
  const int fd = fd_ < 0 ? -1 : ::accept(fd_, nullptr, nullptr);
  if (fd < 0) return nullptr;
  NonBlocking(fd);
  std::unique_ptr<TestPeer> peer(new TestPeer);
  peer->fd_ = fd;
  return peer;
}

void PortHolder::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace velgate::testing
