#pragma once
// A local (Unix-domain) stream socket for the operator's tools: each client sends request lines
// and gets replies. Nothing a client does can hold the loop up or take unbounded memory:
//
//   connect ──credentials not root's, nor the gateway's user's or group's──> closed at once
//           ──already the most clients──> told so, closed
//   request line over its limit ──> told so (OnLineTooLong), closed
//   replies waiting and none taken for StallMs, or more waiting than SendCap ──> closed
//   no request for IdleMs ──> closed
//
// The socket file is made with mode 0660. A socket file that nobody answers on any more (a
// crash left it) is replaced; one that a live server answers on is never taken over.

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/TimerQueue.h"

namespace velgate {

/// Who is on the other end of a local connection, as the kernel tells it.
struct PeerCredentials {
  int pid = 0;
  unsigned uid = 0;
  unsigned gid = 0;
  /// This process's group is among the peer's supplementary groups.
  bool in_group = false;
};

/// Whether a peer may operate this process: root, or this process's own user or group (its
/// primary group or one of its others).
bool PeerIsTrusted(const PeerCredentials& peer);

/// Why a caller was turned away at once.
enum class LocalRefusal {
  kCredentials,  ///< not root, nor this process's user or group
  kTooMany,      ///< the most clients are connected already
};

/// What the server reports to its owner. Client numbers are never used twice.
class LocalSocketEvents {
 public:
  /// One whole request line of client, without its line end.
  virtual void OnRequest(std::uint64_t client, std::string_view line) = 0;
  /// Client sent more than the longest line without a line end; it is closed after this.
  virtual void OnLineTooLong(std::uint64_t client) = 0;
  /// A caller is turned away at once; the bytes returned are its last word (sent only when
  /// too many clients are connected: an untrusted caller gets nothing).
  virtual std::string OnRefused(const PeerCredentials& peer, LocalRefusal why) = 0;

 protected:
  ~LocalSocketEvents() = default;
};

class LocalSocketServer {
 public:
  struct Limits {
    std::size_t most_clients = 8;
    std::size_t longest_line = 4096;
    std::size_t send_cap = 16 * 1024 * 1024;
    std::int64_t stall_ms = 10000;
    std::int64_t idle_ms = 300000;
  };

  LocalSocketServer(asio::io_context& io, const Clock& clock, TimerQueue& timers,
                    LocalSocketEvents& events, Limits limits);
  LocalSocketServer(const LocalSocketServer&) = delete;
  LocalSocketServer& operator=(const LocalSocketServer&) = delete;
  /// Closes every client and removes the socket file.
  ~LocalSocketServer();

  /// Listens at path; RunTimeError (with the reason) when it cannot, the path left as it was.
  void Open(const std::string& path);
  /// Closes every client and removes the socket file, if it is still the one made here.
  void Close();
  /// Whether it listens.
  bool IsOpen() const { return listener_ != nullptr; }
  /// The socket file's path.
  const std::string& Path() const { return path_; }
  /// Clients connected now.
  std::size_t ClientCount() const { return clients_.size(); }

  /// Queues bytes for client and starts sending; a client past its cap is closed.
  void Send(std::uint64_t client, std::string_view bytes);
  /// Closes client once what is queued for it has gone (at once when nothing is).
  void CloseAfterSending(std::uint64_t client);
  /// Who client is; nothing once it has gone.
  std::optional<PeerCredentials> PeerOf(std::uint64_t client);

 private:
  struct Client;

  void AcceptNext();
  void Accepted(int descriptor);
  void ReadNext(Client& client);
  void OnReadable(std::uint64_t id);
  void LineTooLong(std::uint64_t id);
  void Flush(Client& client);
  void Drop(std::uint64_t id);
  Client* Find(std::uint64_t id);
  void Sweep();

  asio::io_context& io_;
  const Clock& clock_;
  LocalSocketEvents& events_;
  Limits limits_;
  std::string path_;
  unsigned long made_inode_ = 0;  // the socket file this server made
  std::unique_ptr<asio::posix::stream_descriptor> listener_;
  std::vector<std::unique_ptr<Client>> clients_;
  std::uint64_t next_client_ = 1;
  bool accepting_ = false;
  // Completions carry the value they started with; Close bumps it.
  std::shared_ptr<std::uint64_t> life_ = std::make_shared<std::uint64_t>(0);
  Timer sweep_;
};

}  // namespace velgate
