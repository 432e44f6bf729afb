#include "platform/LocalSocketServer.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/RunTimeError.h"

namespace velgate {
namespace {

constexpr int kFileError = 75;
constexpr std::int64_t kSweepEveryMs = 1000;

RunTimeError OpenFailure(const std::string& text) {
  return RunTimeError(kFileError, text);
}

std::string SystemText(int number) {
  return std::strerror(number);
}

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof(address.sun_path)) {
    throw OpenFailure("the control socket's path must have 1 to " +
                      std::to_string(sizeof(address.sun_path) - 1) + " bytes: " + path);
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  return address;
}

// A socket file nobody listens on any more is stale; one that answers belongs to a live server.
bool SomeoneAnswers(const sockaddr_un& address) {
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const int result = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int number = errno;
  ::close(probe);
  // A full backlog (EAGAIN) is a live server too.
  return result == 0 || number == EAGAIN || number == EINPROGRESS;
}

}  // namespace

bool PeerIsTrusted(const PeerCredentials& peer) {
  return peer.uid == 0 || peer.uid == ::geteuid() || peer.gid == ::getegid() || peer.in_group;
}

struct LocalSocketServer::Client {
  Client(asio::io_context& io, int descriptor) : socket(io, descriptor) {}
  std::uint64_t id = 0;
  PeerCredentials peer;
  asio::posix::stream_descriptor socket;
  std::string input;
  std::string outgoing;
  std::size_t sent = 0;
  bool waiting_writable = false;
  bool closing = false;
  std::int64_t last_request_ms = 0;
  std::int64_t last_progress_ms = 0;
  std::size_t Waiting() const { return outgoing.size() - sent; }
};

LocalSocketServer::LocalSocketServer(asio::io_context& io, const Clock& clock, TimerQueue& timers,
                                     LocalSocketEvents& events, Limits limits)
    : io_(io),
      clock_(clock),
      events_(events),
      limits_(limits),
      sweep_(timers, kSweepEveryMs, false, [this] { Sweep(); }) {}

LocalSocketServer::~LocalSocketServer() {
  Close();
}

void LocalSocketServer::Open(const std::string& path) {
  Close();
  const sockaddr_un address = AddressOf(path);
  struct stat found {};
  if (::lstat(path.c_str(), &found) == 0) {
    if (!S_ISSOCK(found.st_mode)) throw OpenFailure(path + " exists and is not a socket");
    if (SomeoneAnswers(address)) throw OpenFailure("a running gateway answers on " + path);
    ::unlink(path.c_str());
  }
  const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (descriptor < 0) throw OpenFailure(SystemText(errno));
  const auto fail = [&](const std::string& what) {
    const std::string text = what + " " + path + ": " + SystemText(errno);
    ::close(descriptor);
    return OpenFailure(text);
  };
  if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    throw fail("cannot make");
  // Nobody can connect before listen(), so the mode is in place before the first caller.
  struct stat made {};
  if (::chmod(path.c_str(), 0660) != 0 || ::stat(path.c_str(), &made) != 0) {
    const int number = errno;
    ::unlink(path.c_str());
    errno = number;
    throw fail("cannot set the mode of");
  }
  if (::listen(descriptor, 16) != 0) {
    ::unlink(path.c_str());
    throw fail("cannot listen on");
  }
  path_ = path;
  made_inode_ = made.st_ino;
  listener_ = std::make_unique<asio::posix::stream_descriptor>(io_, descriptor);
  sweep_.SetEnabled(true);
  AcceptNext();
}

void LocalSocketServer::Close() {
  ++*life_;
  sweep_.SetEnabled(false);
  clients_.clear();
  if (!listener_) return;
  listener_.reset();
  struct stat found {};
  if (::lstat(path_.c_str(), &found) == 0 && found.st_ino == made_inode_) ::unlink(path_.c_str());
}

void LocalSocketServer::AcceptNext() {
  if (!listener_) return;
  const std::uint64_t generation = *life_;
  accepting_ = true;
  listener_->async_wait(asio::posix::stream_descriptor::wait_read,
                        [this, life = life_, generation](const std::error_code& error) {
                          if (*life != generation) return;
                          accepting_ = false;
                          if (error) return;
                          for (;;) {
                            const int descriptor = ::accept4(listener_->native_handle(), nullptr,
                                                             nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                            if (descriptor < 0) {
                              // Out of descriptors: the sweep tries again in a second.
                              if (errno == EINTR || errno == ECONNABORTED) continue;
                              if (errno == EAGAIN || errno == EWOULDBLOCK) AcceptNext();
                              return;
                            }
                            Accepted(descriptor);
                            if (*life != generation) return;
                          }
                        });
}

void LocalSocketServer::Accepted(int descriptor) {
  PeerCredentials peer;
  ucred credentials{};
  socklen_t size = sizeof credentials;
  const bool known = ::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0;
  if (known) {
    peer = PeerCredentials{credentials.pid, credentials.uid, credentials.gid, false};
    gid_t groups[64];
    socklen_t groups_size = sizeof groups;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_PEERGROUPS, groups, &groups_size) == 0) {
      gid_t* end = groups + groups_size / sizeof(gid_t);
      peer.in_group = std::find(groups, end, ::getegid()) != end;
    }
  }
  if (!known || !PeerIsTrusted(peer)) {
    ::close(descriptor);
    events_.OnRefused(peer, LocalRefusal::kCredentials);
    return;
  }
  if (clients_.size() >= limits_.most_clients) {
    // A short line always fits an empty socket buffer: it is sent without waiting.
    const std::string told = events_.OnRefused(peer, LocalRefusal::kTooMany);
    ::send(descriptor, told.data(), told.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::close(descriptor);
    return;
  }
  auto client = std::make_unique<Client>(io_, descriptor);
  client->id = next_client_++;
  client->peer = peer;
  client->last_request_ms = clock_.SteadyMs();
  Client& added = *clients_.emplace_back(std::move(client));
  ReadNext(added);
}

LocalSocketServer::Client* LocalSocketServer::Find(std::uint64_t id) {
  for (auto& client : clients_)
    if (client->id == id) return client.get();
  return nullptr;
}

std::optional<PeerCredentials> LocalSocketServer::PeerOf(std::uint64_t id) {
  if (Client* client = Find(id)) return client->peer;
  return std::nullopt;
}

void LocalSocketServer::Drop(std::uint64_t id) {
  std::erase_if(clients_, [id](const std::unique_ptr<Client>& client) { return client->id == id; });
}

void LocalSocketServer::ReadNext(Client& client) {
  client.socket.async_wait(asio::posix::stream_descriptor::wait_read,
                           [this, id = client.id](const std::error_code& error) {
                             if (error == asio::error::operation_aborted) return;
                             if (error) {
                               Drop(id);
                               return;
                             }
                             OnReadable(id);
                           });
}

void LocalSocketServer::OnReadable(std::uint64_t id) {
  Client* client = Find(id);
  if (!client || client->closing) return;
  char buffer[4096];
  const ssize_t received = ::recv(client->socket.native_handle(), buffer, sizeof buffer, 0);
  if (received <= 0) {
    if (received < 0 && (errno == EAGAIN || errno == EINTR)) {
      ReadNext(*client);
    } else {
      Drop(id);
    }
    return;
  }
  client->input.append(buffer, static_cast<std::size_t>(received));
  for (std::size_t end; (end = client->input.find('\n')) != std::string::npos;) {
    std::string line = client->input.substr(0, end);
    client->input.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > limits_.longest_line) return LineTooLong(id);
    client->last_request_ms = clock_.SteadyMs();
    events_.OnRequest(id, line);
    // The request may have closed this client, or every client.
    client = Find(id);
    if (!client || client->closing) return;
  }
  // The line's end has yet to come: what is held never passes the longest line.
  if (client->input.size() > limits_.longest_line + 1) return LineTooLong(id);
  ReadNext(*client);
}

void LocalSocketServer::LineTooLong(std::uint64_t id) {
  events_.OnLineTooLong(id);
  CloseAfterSending(id);
}

void LocalSocketServer::Send(std::uint64_t id, std::string_view bytes) {
  Client* client = Find(id);
  if (!client || bytes.empty()) return;
  if (client->Waiting() + bytes.size() > limits_.send_cap) {
    Drop(id);
    return;
  }
  if (client->Waiting() == 0) {
    client->outgoing.clear();
    client->sent = 0;
    client->last_progress_ms = clock_.SteadyMs();
  }
  client->outgoing.append(bytes);
  Flush(*client);
}

void LocalSocketServer::CloseAfterSending(std::uint64_t id) {
  Client* client = Find(id);
  if (!client) return;
  client->closing = true;
  if (client->Waiting() == 0) Drop(id);
}

void LocalSocketServer::Flush(Client& client) {
  while (client.Waiting() > 0) {
    const ssize_t written =
        ::send(client.socket.native_handle(), client.outgoing.data() + client.sent,
               client.Waiting(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      Drop(client.id);
      return;
    }
    client.sent += static_cast<std::size_t>(written);
    client.last_progress_ms = clock_.SteadyMs();
  }
  if (client.Waiting() == 0) {
    client.outgoing.clear();
    client.outgoing.shrink_to_fit();
    client.sent = 0;
    if (client.closing) Drop(client.id);
    return;
  }
  if (client.waiting_writable) return;
  client.waiting_writable = true;
  client.socket.async_wait(asio::posix::stream_descriptor::wait_write,
                           [this, id = client.id](const std::error_code& error) {
                             if (error == asio::error::operation_aborted) return;
                             Client* waiting = Find(id);
                             if (!waiting) return;
                             waiting->waiting_writable = false;
                             if (error) {
                               Drop(id);
                               return;
                             }
                             Flush(*waiting);
                           });
}

void LocalSocketServer::Sweep() {
  const std::int64_t now = clock_.SteadyMs();
  std::erase_if(clients_, [&](const std::unique_ptr<Client>& client) {
    if (client->Waiting() > 0) return now - client->last_progress_ms >= limits_.stall_ms;
    return now - client->last_request_ms >= limits_.idle_ms;
  });
  // An accept that stopped for want of descriptors starts again.
  if (listener_ && !accepting_) AcceptNext();
}

}  // namespace velgate
