#include "platform/TcpSocket.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <array>
#include <asio/connect.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <cerrno>
#include <chrono>

namespace velgate {
namespace {

using asio::ip::tcp;

// One receive buffer serves every socket of the thread: a block is handed to its owner before
// the next read, so no socket needs a buffer of its own.
std::array<char, 64 * 1024>& SharedReadBuffer() {
  thread_local std::array<char, 64 * 1024> buffer;
  return buffer;
}

IpAddress AddressOf(const asio::ip::address& address) {
  return address.is_v6() ? IpAddress::V6(address.to_v6().to_bytes())
                         : IpAddress::V4(address.to_v4().to_uint());
}

bool DescriptorsExhausted(const std::error_code& error) {
  return error == std::errc::too_many_files_open ||
         error == std::errc::too_many_files_open_in_system || error == std::errc::no_buffer_space ||
         error == std::errc::not_enough_memory;
}

}  // namespace

PendingConnection::PendingConnection(LoopSocket peer) : peer_(std::move(peer)) {
  std::error_code error;
  tcp::endpoint remote = peer_.remote_endpoint(error);
  if (!error) {
    remote_address_ = AddressOf(remote.address());
    remote_ip_ = remote_address_.Text();
    remote_port_ = remote.port();
  }
}

PendingConnection::PendingConnection(LoopSocket peer, const tcp::endpoint& remote, int local_port)
    : peer_(std::move(peer)),
      remote_address_(AddressOf(remote.address())),
      remote_ip_(remote_address_.Text()),
      remote_port_(remote.port()),
      local_port_(local_port) {}

void PendingConnection::Refuse() {
  std::error_code ignored;
  peer_.close(ignored);
}

bool PendingConnection::HungUp() {
  if (!peer_.is_open()) return true;
  char byte = 0;
  const ssize_t n = ::recv(peer_.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno == ECONNRESET);
}

TcpSocket::TcpSocket(asio::io_context& io, TcpSocketEvents& events, int index, std::size_t send_cap)
    : events_(events),
      index_(index),
      send_cap_(static_cast<std::uint32_t>(send_cap)),
      socket_(io) {}

void TcpSocket::StartCounting() {
  bytes_received_ = 0;
  bytes_sent_ = 0;
}

TcpSocket::~TcpSocket() {
  ReleaseHandles();
  // Completions still queued for this socket find it gone.
  *life_ = kGone;
}

std::string TcpSocket::RemoteHostIP() const {
  if (has_remote_address_) return remote_address_.Text();
  return rare_ ? rare_->host : std::string();
}

void TcpSocket::ReleaseHandles() {
  ++*life_;
  std::error_code ignored;
  if (socket_.is_open()) socket_.close(ignored);
  if (rare_) {
    for (auto& acceptor : rare_->acceptors) acceptor->socket.close(ignored);
    if (rare_->resolver) rare_->resolver->cancel();
    if (rare_->accept_retry) rare_->accept_retry->cancel();
  }
  ReleaseOutgoing();
  sent_ = 0;
  flush_scheduled_ = false;
  waiting_writable_ = false;
}

void TcpSocket::ReleaseOutgoing() {
  // An idle connection holds no send buffer: thousands of them wait between two spots.
  outgoing_.reset();
  sent_ = 0;
}

void TcpSocket::Listen() {
  if (state_ != SocketState::kClosed) {
    throw RunTimeError(40020, "Invalid operation at current state");
  }
  if (local_port_ < 0 || local_port_ > 65535) throw RunTimeError::InvalidPropertyValue();
  std::error_code error;
  auto& acceptors = Rare().acceptors;
  acceptors.clear();
  auto port = static_cast<unsigned short>(local_port_);
  if (listen_addresses_.empty()) {
    // Both families on one socket ([::], IPv4 callers arriving v4-mapped); IPv4 alone where the
    // machine has no IPv6.
    if (ipv6_enabled_) {
      OpenAcceptor(IpAddress::V6({}), port, error, /*both_families=*/true);
    } else {
      error = std::make_error_code(std::errc::address_family_not_supported);  // as if none
    }
    if (error == std::errc::address_family_not_supported ||
        error == std::errc::address_not_available || error == std::errc::invalid_argument ||
        error == std::errc::operation_not_supported) {
      if (ipv6_missing_.empty()) ipv6_missing_ = error.message();
      acceptors.clear();
      error.clear();
      OpenAcceptor(IpAddress(), port, error, false);
    }
  } else {
    for (const IpAddress& address : listen_addresses_) {
      OpenAcceptor(address, port, error, false);
      if (error) break;
      // Port 0 takes a free port for the first address; the others share it.
      if (port == 0) port = acceptors.back()->socket.local_endpoint(error).port();
    }
  }
  if (error) {
    acceptors.clear();
    throw RunTimeError::FromSocket(error);
  }
  local_port_ = acceptors.front()->socket.local_endpoint(error).port();
  SetState(SocketState::kListening);
  for (auto& acceptor : acceptors) StartAccepting(*acceptor);
}

void TcpSocket::OpenAcceptor(const IpAddress& address, unsigned short port, std::error_code& error,
                             bool both_families) {
  auto& acceptor = Rare().acceptors.emplace_back(std::make_unique<Acceptor>(Io()))->socket;
  const bool v6 = address.IsV6();
  const tcp::endpoint endpoint = v6 ? tcp::endpoint(asio::ip::address_v6(address.Bytes()), port)
                                    : tcp::endpoint(asio::ip::address_v4(address.V4Number()), port);
  acceptor.open(v6 ? tcp::v6() : tcp::v4(), error);
  // [::] for both families takes IPv4 as well; a named IPv6 address takes only itself.
  if (!error && v6) acceptor.set_option(asio::ip::v6_only(!both_families), error);
  if (!error) acceptor.set_option(LoopAcceptor::reuse_address(true), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
}

void TcpSocket::StartAccepting(Acceptor& acceptor) {
  const std::uint64_t generation = *life_;
  auto life = life_;
  // The accept fills in the caller's address, so the new connection needs no further call to
  // learn it.
  acceptor.socket.async_accept(acceptor.caller, [this, life, generation, &acceptor](
                                                    const std::error_code& error, LoopSocket peer) {
    if (*life != generation || state_ != SocketState::kListening) return;
    if (error) {
      if (error == asio::error::operation_aborted) return;
      std::string address;
      if (DescriptorsExhausted(error) && rare_->reserve && RefuseWaitingCaller(acceptor, address)) {
        rare_->on_refused(address, local_port_);
        if (*life == generation && state_ == SocketState::kListening) StartAccepting(acceptor);
        return;
      }
      if (DescriptorsExhausted(error)) {
        // Out of descriptors: wait a moment instead of spinning on the same failure.
        auto& retry = rare_->accept_retry;
        if (!retry) retry = std::make_unique<asio::steady_timer>(Io());
        retry->expires_after(std::chrono::milliseconds(100));
        retry->async_wait([this, life, generation, &acceptor](const std::error_code& wait_error) {
          if (!wait_error && *life == generation) StartAccepting(acceptor);
        });
        return;
      }
      StartAccepting(acceptor);
      return;
    }
    if (rare_->reserve && rare_->reserve->InReserve(peer.native_handle())) {
      std::error_code ignored;
      peer.close(ignored);
      rare_->on_refused(AddressOf(acceptor.caller.address()).Text(), local_port_);
      if (*life == generation && state_ == SocketState::kListening) StartAccepting(acceptor);
      return;
    }
    PendingConnection request(std::move(peer), acceptor.caller, local_port_);
    events_.OnConnectionRequest(index_, request);
    if (*life == generation && state_ == SocketState::kListening) StartAccepting(acceptor);
  });
}

bool TcpSocket::RefuseWaitingCaller(Acceptor& acceptor, std::string& address) {
  // The spare descriptor makes room for the one accept that takes the caller off the queue.
  rare_->reserve->ReleaseSpare();
  LoopSocket peer(Io());
  std::error_code error;
  acceptor.socket.non_blocking(true, error);
  if (!error) acceptor.socket.accept(peer, error);
  const bool refused = !error;
  // Taken off the queue and closed at once.
  if (refused) address = PendingConnection(std::move(peer)).RemoteHostIP();
  rare_->reserve->RestoreSpare();
  return refused;
}

void TcpSocket::SetState(SocketState state) {
  const SocketState from = state_;
  state_ = state;
  if (state_listener_ && from != state) state_listener_->OnSocketState(index_, from, state);
}

void TcpSocket::Accept(PendingConnection& request) {
  if (state_ != SocketState::kClosed) {
    throw RunTimeError(40020, "Invalid operation at current state");
  }
  if (!request.peer_.is_open()) throw RunTimeError::WrongConnectionState();
  ReleaseHandles();
  StartCounting();
  socket_ = std::move(request.peer_);
  remote_address_ = request.remote_address_;
  has_remote_address_ = true;
  remote_port_ = request.remote_port_;
  std::error_code error;
  local_port_ =
      request.local_port_ != 0 ? request.local_port_ : socket_.local_endpoint(error).port();
  Connected();
}

void TcpSocket::ApplyOptions(const ConnectionOptions& options) {
  if (!socket_.is_open()) return;
  const int fd = socket_.native_handle();
  if (options.send_buffer > 0)
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &options.send_buffer, sizeof options.send_buffer);
  const int on = options.keepalive_idle_s > 0 ? 1 : 0;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  if (!on) return;
  const int interval = 30;
  const int probes = 4;
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &options.keepalive_idle_s,
               sizeof options.keepalive_idle_s);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

int TcpSocket::Descriptor() {
  if (socket_.is_open()) return socket_.native_handle();
  if (rare_ && !rare_->acceptors.empty() && rare_->acceptors.front()->socket.is_open())
    return rare_->acceptors.front()->socket.native_handle();
  return -1;
}

void TcpSocket::Connected() {
  std::error_code ignored;
  socket_.set_option(tcp::no_delay(true), ignored);
  SetState(SocketState::kConnected);
  StartReading();
}

void TcpSocket::Connect(const std::string& host, int port) {
  if (state_ != SocketState::kClosed) {
    throw RunTimeError(40020, "Invalid operation at current state");
  }
  ReleaseHandles();
  StartCounting();
  has_remote_address_ = false;
  Rare().host = host;
  remote_port_ = port;
  SetState(SocketState::kConnecting);
  auto& resolver = Rare().resolver;
  if (!resolver) resolver = std::make_unique<tcp::resolver>(Io());
  const std::uint64_t generation = *life_;
  auto life = life_;
  resolver->async_resolve(host, std::to_string(port),
                          [this, life, generation](const std::error_code& error,
                                                   const tcp::resolver::results_type& results) {
                            if (*life != generation) return;
                            if (error) {
                              Fail(error);
                              return;
                            }
                            asio::async_connect(
                                socket_, results,
                                [this, life, generation](const std::error_code& connect_error,
                                                         const tcp::endpoint& peer) {
                                  if (*life != generation) return;
                                  if (connect_error) {
                                    Fail(connect_error);
                                    return;
                                  }
                                  remote_address_ = AddressOf(peer.address());
                                  has_remote_address_ = true;
                                  std::error_code ignored;
                                  local_port_ = socket_.local_endpoint(ignored).port();
                                  Connected();
                                  events_.OnConnect(index_);
                                });
                          });
}

void TcpSocket::Close() {
  if (state_ == SocketState::kConnected && QueuedBytes() > 0) {
    // Hand what is queued to the system before closing, so a last line is not lost; what
    // does not fit now is dropped, never waited for.
    ::send(socket_.native_handle(), outgoing_->data() + sent_, QueuedBytes(),
           MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  ReleaseHandles();
  SetState(SocketState::kClosed);
}

bool TcpSocket::SendData(std::string_view data) {
  if (state_ != SocketState::kConnected) return false;
  if (data.empty()) return true;
  if (QueuedBytes() + data.size() > send_cap_) {
    FailWith(RunTimeError::SendCapReached());
    return true;
  }
  if (!outgoing_) outgoing_ = std::make_unique<std::string>();
  if (sent_ == outgoing_->size()) {
    outgoing_->clear();
    sent_ = 0;
  }
  outgoing_->append(data);
  bytes_sent_ += data.size();
  ScheduleFlush();
  return true;
}

void TcpSocket::ScheduleFlush() {
  // Everything sent during one handler goes out in one write once the handler returns.
  if (flush_scheduled_ || waiting_writable_) return;
  flush_scheduled_ = true;
  const std::uint64_t generation = *life_;
  auto life = life_;
  asio::post(Io(), [this, life, generation] {
    if (*life != generation) return;
    flush_scheduled_ = false;
    Flush();
  });
}

void TcpSocket::Flush() {
  if (state_ != SocketState::kConnected) return;
  while (QueuedBytes() > 0) {
    const ssize_t written = ::send(socket_.native_handle(), outgoing_->data() + sent_,
                                   QueuedBytes(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (written < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      if (errno == EINTR) continue;
      Fail(std::error_code(errno, asio::error::get_system_category()));
      return;
    }
    sent_ += static_cast<std::size_t>(written);
  }
  if (QueuedBytes() == 0) {
    ReleaseOutgoing();
    return;
  }
  if (sent_ > outgoing_->size() / 2) {
    outgoing_->erase(0, sent_);
    sent_ = 0;
  }
  waiting_writable_ = true;
  const std::uint64_t generation = *life_;
  auto life = life_;
  socket_.async_wait(LoopSocket::wait_write,
                     [this, life, generation](const std::error_code& error) {
                       if (*life != generation) return;
                       waiting_writable_ = false;
                       if (error) {
                         Fail(error);
                         return;
                       }
                       Flush();
                     });
}

void TcpSocket::StartReading() {
  const std::uint64_t generation = *life_;
  auto life = life_;
  socket_.async_wait(LoopSocket::wait_read, [this, life, generation](const std::error_code& error) {
    if (*life != generation) return;
    if (error) {
      Fail(error);
      return;
    }
    OnReadable();
  });
}

void TcpSocket::OnReadable() {
  auto& buffer = SharedReadBuffer();
  // The flags make the call non-blocking by itself: the socket's own mode is never switched.
  const ssize_t received =
      ::recv(socket_.native_handle(), buffer.data(), buffer.size(), MSG_DONTWAIT);
  if (received == 0) {
    RemoteClosed();
    return;
  }
  if (received < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
      StartReading();
      return;
    }
    Fail(std::error_code(errno, asio::error::get_system_category()));
    return;
  }
  bytes_received_ += static_cast<std::uint64_t>(received);
  const std::uint64_t generation = *life_;
  auto life = life_;
  events_.OnDataArrival(index_,
                        std::string_view(buffer.data(), static_cast<std::size_t>(received)));
  if (*life == generation && state_ == SocketState::kConnected) StartReading();
}

void TcpSocket::RemoteClosed() {
  ReleaseHandles();
  SetState(SocketState::kClosed);
  events_.OnClose(index_);
}

void TcpSocket::Fail(const std::error_code& error) {
  FailWith(RunTimeError::FromSocket(error));
}

void TcpSocket::FailWith(const RunTimeError& error) {
  // A peer that failed, or stopped reading, gets a reset: what the kernel still holds for it is
  // dropped with the connection instead of staying behind the close.
  if (socket_.is_open()) {
    const linger abort{1, 0};
    ::setsockopt(socket_.native_handle(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  }
  // The socket is in the error state at once; its owner hears of it from the loop, never from
  // inside the call that failed.
  ReleaseHandles();
  SetState(SocketState::kError);
  const std::uint64_t generation = *life_;
  auto life = life_;
  asio::post(Io(), [this, life, generation, error] {
    if (*life == generation && state_ == SocketState::kError) events_.OnError(index_, error);
  });
}

}  // namespace velgate
