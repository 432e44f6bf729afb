#pragma once
// The gateway's TCP socket: one object that listens, accepts, connects, sends and receives, with
// a state and events, so that the rules can be written against it step by step.
//
//   closed(0) --Listen--> listening(2) --ConnectionRequest--> (owner Accepts on another socket)
//   closed(0) --Accept--> connected(7) --remote closes--> closed(0), Close event
//   closed(0) --Connect--> connecting(6) --> connected(7), Connect event | error(9), Error event
//   any failure (read, write, queue over its cap) --> error(9), Error event (posted)
//
// Our own Close raises nothing. Completions that arrive after a Close belong to the earlier
// occupant and are dropped (generation number).

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DescriptorReserve.h"
#include "platform/IpAddress.h"
#include "platform/RunTimeError.h"

namespace velgate {

enum class SocketState : int {
  kClosed = 0,
  kListening = 2,
  kConnecting = 6,
  kConnected = 7,
  kError = 9,
};

/// A connection accepted by a listener and not yet taken onto a socket. It closes itself unless
/// a socket's Accept takes it.
/// Sockets tied to the loop's own executor rather than a type-erased one: every socket, and every
/// operation pending on it, is smaller by the erased executor's bytes.
using LoopSocket = asio::basic_stream_socket<asio::ip::tcp, asio::io_context::executor_type>;
using LoopAcceptor = asio::basic_socket_acceptor<asio::ip::tcp, asio::io_context::executor_type>;

class PendingConnection {
 public:
  explicit PendingConnection(LoopSocket peer);
  /// A caller whose address the accept already gave, on the listener's port.
  PendingConnection(LoopSocket peer, const asio::ip::tcp::endpoint& remote, int local_port);
  /// The caller's address as text: dotted IPv4, or IPv6 in its RFC 5952 form.
  const std::string& RemoteHostIP() const { return remote_ip_; }
  const IpAddress& RemoteAddress() const { return remote_address_; }
  /// The caller's TCP port.
  int RemotePort() const { return remote_port_; }
  /// Closes the connection now, without a byte.
  void Refuse();
  /// Whether the caller has already hung up without sending a byte (its end is all that waits).
  bool HungUp();

 private:
  friend class TcpSocket;
  LoopSocket peer_;
  IpAddress remote_address_;
  std::string remote_ip_;
  int remote_port_ = 0;
  int local_port_ = 0;  // 0: ask the socket
};

/// What a connection is set to besides TCP_NODELAY.
struct ConnectionOptions {
  /// SO_SNDBUF in bytes (the kernel doubles it for its own bookkeeping); 0: the system's.
  int send_buffer = 0;
  /// TCP keepalive: the first probe after this many idle seconds, then one every 30 s, and the
  /// peer is given up after 4 unanswered; 0: no keepalive.
  int keepalive_idle_s = 0;
};

/// Hears every change of a socket's state as it happens (an owner that keeps counts).
class SocketStateListener {
 public:
  virtual void OnSocketState(int index, SocketState from, SocketState to) = 0;

 protected:
  ~SocketStateListener() = default;
};

/// What a socket reports to its owner; index is the socket's index in its owner's array.
class TcpSocketEvents {
 public:
  virtual void OnConnectionRequest(int index, PendingConnection& request) = 0;
  virtual void OnDataArrival(int index, std::string_view data) = 0;
  virtual void OnConnect(int index) = 0;
  virtual void OnClose(int index) = 0;
  virtual void OnError(int index, const RunTimeError& error) = 0;

 protected:
  ~TcpSocketEvents() = default;
};

class TcpSocket {
 public:
  /// send_cap: the most bytes that may wait to be sent before the socket fails.
  TcpSocket(asio::io_context& io, TcpSocketEvents& events, int index, std::size_t send_cap);
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;
  ~TcpSocket();

  /// The socket's state.
  SocketState State() const { return state_; }
  /// The local port: set before Listen; after Listen or Accept, the port in use.
  int LocalPort() const { return local_port_; }
  void SetLocalPort(int port) { local_port_ = port; }
  /// The remote port of the connection.
  int RemotePort() const { return remote_port_; }
  void SetRemotePort(int port) { remote_port_ = port; }
  /// The remote address of the connection as text (dotted IPv4, or IPv6 in its RFC 5952 form);
  /// while an outgoing connection is being made, the host it was asked for.
  std::string RemoteHostIP() const;
  /// This socket's index in its owner's array.
  int Index() const { return index_; }

  /// Listens on LocalPort on every address, IPv6 and IPv4 on one socket, or IPv4 alone where
  /// the machine has no IPv6; throws RunTimeError when it cannot.
  void Listen();
  /// Whether listeners try IPv6 first; a test turns it off to play a machine without IPv6.
  static void SetIPv6Enabled(bool enabled) {
    ipv6_enabled_ = enabled;
    ipv6_missing_.clear();
  }
  /// Why a listener opened on IPv4 alone, the first time one did; empty while none has.
  static const std::string& IPv6Missing() { return ipv6_missing_; }
  /// The addresses every listener binds from its next Listen on; empty: every address.
  static void SetListenAddresses(std::vector<IpAddress> addresses) {
    listen_addresses_ = std::move(addresses);
  }
  /// Takes a pending connection onto this closed socket; throws RunTimeError when it cannot.
  void Accept(PendingConnection& request);
  /// Stops listening and takes the caller on this socket itself, so no second caller gets in
  /// while it is connected; throws RunTimeError when it cannot.
  void TakeCaller(PendingConnection& request) {
    Close();
    Accept(request);
  }
  /// Closes whatever the socket holds and listens again on port; throws when it cannot.
  void ListenAgain(int port) {
    Close();
    remote_port_ = 0;
    local_port_ = port;
    Listen();
  }
  /// Closes the socket and forgets its ports, ready for its next occupant.
  void CloseAndReset() {
    Close();
    remote_port_ = 0;
    local_port_ = 0;
  }
  /// For a listener of users: a caller whose descriptor would lie in the reserve is closed at
  /// once without a byte, and so is one that finds descriptors run out; on_refused hears of it
  /// with the caller's address and this listener's port.
  using RefusedCaller = std::function<void(const std::string& address, int port)>;
  void GuardDescriptors(DescriptorReserve& reserve, RefusedCaller on_refused) {
    Rare().reserve = &reserve;
    Rare().on_refused = std::move(on_refused);
  }
  /// Tells listener of every change of State() from now on.
  void SetStateListener(SocketStateListener* listener) { state_listener_ = listener; }
  /// Starts connecting to host:port; completion is the Connect or the Error event.
  void Connect(const std::string& host, int port);
  /// Closes whatever the socket holds; what is queued is handed to the system first.
  void Close();
  /// Queues data for sending; false when the socket is not connected (nothing is sent).
  bool SendData(std::string_view data);
  /// Sets the connected socket's buffer and keepalive.
  void ApplyOptions(const ConnectionOptions& options);
  /// The descriptor of the connection (or listener); -1 when there is none.
  int Descriptor();
  /// Bytes queued and not yet handed to the system.
  std::size_t QueuedBytes() const { return outgoing_ ? outgoing_->size() - sent_ : 0; }
  /// Bytes received on the present connection, and bytes taken for sending on it.
  std::uint64_t BytesReceived() const { return bytes_received_; }
  std::uint64_t BytesSent() const { return bytes_sent_; }

 private:
  struct Acceptor;
  void StartAccepting(Acceptor& acceptor);
  // Opens one more acceptor on address and port (an IPv6 one that takes IPv4 callers too when
  // both_families); error when it cannot.
  void OpenAcceptor(const IpAddress& address, unsigned short port, std::error_code& error,
                    bool both_families);
  void StartCounting();
  bool RefuseWaitingCaller(Acceptor& acceptor, std::string& address);
  void SetState(SocketState state);
  void StartReading();
  void OnReadable();
  void ScheduleFlush();
  void Flush();
  void Connected();
  void Fail(const std::error_code& error);
  void FailWith(const RunTimeError& error);
  void RemoteClosed();
  void ReleaseHandles();
  void ReleaseOutgoing();

  // The loop, as the socket's own executor knows it: a socket holds no reference of its own.
  asio::io_context& Io() { return socket_.get_executor().context(); }

  static inline bool ipv6_enabled_ = true;
  static inline std::string ipv6_missing_;
  static inline std::vector<IpAddress> listen_addresses_;

  // Laid out so that the small members share their words: 19,000 streams hold one socket each.
  TcpSocketEvents& events_;
  int index_;
  SocketState state_ = SocketState::kClosed;
  std::uint32_t send_cap_;
  int local_port_ = 0;
  int remote_port_ = 0;
  // The caller's address in its bytes; text only when asked for.
  IpAddress remote_address_;
  bool has_remote_address_ = false;
  bool flush_scheduled_ = false;
  bool waiting_writable_ = false;
  // Bytes of the present connection, each way.
  std::uint64_t bytes_received_ = 0;
  std::uint64_t bytes_sent_ = 0;
  // Bumped by every Close; completions carry the value they started with. Shared with them so
  // that a completion arriving after the socket is gone can tell.
  static constexpr std::uint64_t kGone = ~std::uint64_t{0};
  std::shared_ptr<std::uint64_t> life_ = std::make_shared<std::uint64_t>(0);
  LoopSocket socket_;
  // What only a socket that listens or connects out needs: most sockets carry a stream and
  // never do, so they go without.
  struct Acceptor {
    explicit Acceptor(asio::io_context& io) : socket(io) {}
    LoopAcceptor socket;
    asio::ip::tcp::endpoint caller;  // filled in by the accept
  };
  struct RareParts {
    // One for every address listened on: [::] (or 0.0.0.0), or each one ListenAddresses names.
    std::vector<std::unique_ptr<Acceptor>> acceptors;
    std::unique_ptr<asio::ip::tcp::resolver> resolver;
    std::string host;  // an outgoing connection's host until it is connected
    std::unique_ptr<asio::steady_timer> accept_retry;
    DescriptorReserve* reserve = nullptr;
    RefusedCaller on_refused;
  };
  RareParts& Rare() {
    if (!rare_) rare_ = std::make_unique<RareParts>();
    return *rare_;
  }
  std::unique_ptr<RareParts> rare_;
  SocketStateListener* state_listener_ = nullptr;
  // What waits to be sent; only while something does.
  std::unique_ptr<std::string> outgoing_;
  std::size_t sent_ = 0;
};

}  // namespace velgate
