#include "platform/TcpSocket.h"

#include <array>
#include <asio/connect.hpp>
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

bool DescriptorsExhausted(const std::error_code& error) {
  return error == std::errc::too_many_files_open ||
         error == std::errc::too_many_files_open_in_system || error == std::errc::no_buffer_space ||
         error == std::errc::not_enough_memory;
}

constexpr std::size_t kKeptSendCapacity = 64 * 1024;

}  // namespace

PendingConnection::PendingConnection(tcp::socket peer) : peer_(std::move(peer)) {
  std::error_code error;
  tcp::endpoint remote = peer_.remote_endpoint(error);
  if (!error) {
    remote_ip_ = remote.address().to_string();
    remote_port_ = remote.port();
  }
}

void PendingConnection::Refuse() {
  std::error_code ignored;
  peer_.close(ignored);
}

TcpSocket::TcpSocket(asio::io_context& io, TcpSocketEvents& events, int index, std::size_t send_cap)
    : io_(io), events_(events), index_(index), send_cap_(send_cap), socket_(io) {}

TcpSocket::~TcpSocket() {
  ReleaseHandles();
  // Completions still queued for this socket find it gone.
  *life_ = kGone;
}

void TcpSocket::ReleaseHandles() {
  ++*life_;
  std::error_code ignored;
  if (acceptor_ && acceptor_->is_open()) acceptor_->close(ignored);
  if (socket_.is_open()) socket_.close(ignored);
  if (resolver_) resolver_->cancel();
  if (accept_retry_) accept_retry_->cancel();
  outgoing_.clear();
  if (outgoing_.capacity() > kKeptSendCapacity) outgoing_.shrink_to_fit();
  sent_ = 0;
  flush_scheduled_ = false;
  waiting_writable_ = false;
}

void TcpSocket::Listen() {
  if (state_ != SocketState::kClosed) {
    throw RunTimeError(40020, "Invalid operation at current state");
  }
  if (local_port_ < 0 || local_port_ > 65535) throw RunTimeError::InvalidPropertyValue();
  std::error_code error;
  if (!acceptor_) acceptor_ = std::make_unique<tcp::acceptor>(io_);
  acceptor_->open(tcp::v4(), error);
  if (!error) acceptor_->set_option(tcp::acceptor::reuse_address(true), error);
  if (!error) {
    acceptor_->bind(tcp::endpoint(tcp::v4(), static_cast<unsigned short>(local_port_)), error);
  }
  if (!error) acceptor_->listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    std::error_code ignored;
    acceptor_->close(ignored);
    throw RunTimeError::FromSocket(error);
  }
  local_port_ = acceptor_->local_endpoint(error).port();
  SetState(SocketState::kListening);
  StartAccepting();
}

void TcpSocket::StartAccepting() {
  const std::uint64_t generation = *life_;
  auto life = life_;
  acceptor_->async_accept([this, life, generation](const std::error_code& error, tcp::socket peer) {
    if (*life != generation || state_ != SocketState::kListening) return;
    if (error) {
      if (error == asio::error::operation_aborted) return;
      std::string address;
      if (DescriptorsExhausted(error) && reserve_ && RefuseWaitingCaller(address)) {
        on_refused_(address, local_port_);
        if (*life == generation && state_ == SocketState::kListening) StartAccepting();
        return;
      }
      if (DescriptorsExhausted(error)) {
        // Out of descriptors: wait a moment instead of spinning on the same failure.
        if (!accept_retry_) accept_retry_ = std::make_unique<asio::steady_timer>(io_);
        accept_retry_->expires_after(std::chrono::milliseconds(100));
        accept_retry_->async_wait([this, life, generation](const std::error_code& wait_error) {
          if (!wait_error && *life == generation) StartAccepting();
        });
        return;
      }
      StartAccepting();
      return;
    }
    if (reserve_ && reserve_->InReserve(peer.native_handle())) {
      const std::string address = PendingConnection(std::move(peer)).RemoteHostIP();
      on_refused_(address, local_port_);
      if (*life == generation && state_ == SocketState::kListening) StartAccepting();
      return;
    }
    PendingConnection request(std::move(peer));
    if (!request.RemoteHostIP().empty()) events_.OnConnectionRequest(index_, request);
    if (*life == generation && state_ == SocketState::kListening) StartAccepting();
  });
}

bool TcpSocket::RefuseWaitingCaller(std::string& address) {
  // The spare descriptor makes room for the one accept that takes the caller off the queue.
  reserve_->ReleaseSpare();
  tcp::socket peer(io_);
  std::error_code error;
  acceptor_->non_blocking(true, error);
  if (!error) acceptor_->accept(peer, error);
  const bool refused = !error;
  // Taken off the queue and closed at once.
  if (refused) address = PendingConnection(std::move(peer)).RemoteHostIP();
  reserve_->RestoreSpare();
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
  socket_ = std::move(request.peer_);
  remote_ip_ = request.remote_ip_;
  remote_port_ = request.remote_port_;
  std::error_code error;
  local_port_ = socket_.local_endpoint(error).port();
  Connected();
}

void TcpSocket::Connected() {
  std::error_code ignored;
  socket_.set_option(tcp::no_delay(true), ignored);
  socket_.non_blocking(true, ignored);
  SetState(SocketState::kConnected);
  StartReading();
}

void TcpSocket::Connect(const std::string& host, int port) {
  if (state_ != SocketState::kClosed) {
    throw RunTimeError(40020, "Invalid operation at current state");
  }
  ReleaseHandles();
  remote_ip_ = host;
  remote_port_ = port;
  SetState(SocketState::kConnecting);
  if (!resolver_) resolver_ = std::make_unique<tcp::resolver>(io_);
  const std::uint64_t generation = *life_;
  auto life = life_;
  resolver_->async_resolve(tcp::v4(), host, std::to_string(port),
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
                                   remote_ip_ = peer.address().to_string();
                                   std::error_code ignored;
                                   local_port_ = socket_.local_endpoint(ignored).port();
                                   Connected();
                                   events_.OnConnect(index_);
                                 });
                           });
}

void TcpSocket::Close() {
  if (state_ == SocketState::kConnected && QueuedBytes() > 0) {
    // Hand what is queued to the system before closing, so a last line is not lost.
    std::error_code ignored;
    socket_.write_some(asio::buffer(outgoing_.data() + sent_, QueuedBytes()), ignored);
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
  if (sent_ == outgoing_.size()) {
    outgoing_.clear();
    sent_ = 0;
  }
  outgoing_.append(data);
  ScheduleFlush();
  return true;
}

void TcpSocket::ScheduleFlush() {
  // Everything sent during one handler goes out in one write once the handler returns.
  if (flush_scheduled_ || waiting_writable_) return;
  flush_scheduled_ = true;
  const std::uint64_t generation = *life_;
  auto life = life_;
  asio::post(io_, [this, life, generation] {
    if (*life != generation) return;
    flush_scheduled_ = false;
    Flush();
  });
}

void TcpSocket::Flush() {
  if (state_ != SocketState::kConnected) return;
  while (QueuedBytes() > 0) {
    std::error_code error;
    std::size_t written =
        socket_.write_some(asio::buffer(outgoing_.data() + sent_, QueuedBytes()), error);
    if (error == asio::error::would_block || error == asio::error::try_again) break;
    if (error) {
      Fail(error);
      return;
    }
    sent_ += written;
  }
  if (QueuedBytes() == 0) {
    outgoing_.clear();
    sent_ = 0;
    if (outgoing_.capacity() > kKeptSendCapacity) outgoing_.shrink_to_fit();
    return;
  }
  if (sent_ > outgoing_.size() / 2) {
    outgoing_.erase(0, sent_);
    sent_ = 0;
  }
  waiting_writable_ = true;
  const std::uint64_t generation = *life_;
  auto life = life_;
  socket_.async_wait(tcp::socket::wait_write,
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
  socket_.async_wait(tcp::socket::wait_read,
                     [this, life, generation](const std::error_code& error) {
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
  std::error_code error;
  std::size_t received = socket_.read_some(asio::buffer(buffer), error);
  if (error == asio::error::would_block || error == asio::error::try_again) {
    StartReading();
    return;
  }
  if (error == asio::error::eof) {
    RemoteClosed();
    return;
  }
  if (error) {
    Fail(error);
    return;
  }
  const std::uint64_t generation = *life_;
  auto life = life_;
  events_.OnDataArrival(index_, std::string_view(buffer.data(), received));
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
  // The socket is in the error state at once; its owner hears of it from the loop, never from
  // inside the call that failed.
  ReleaseHandles();
  SetState(SocketState::kError);
  const std::uint64_t generation = *life_;
  auto life = life_;
  asio::post(io_, [this, life, generation, error] {
    if (*life == generation && state_ == SocketState::kError) events_.OnError(index_, error);
  });
}

}  // namespace velgate
