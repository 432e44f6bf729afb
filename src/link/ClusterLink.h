#pragma once
// The cluster link: the one socket VelgateCluster, its handshake and resync, SendToCluster, and
// the receive loop that splits the cluster's output into messages and routes them.
//
//   listening ──request──> connected ──"7261": AA01, AA38..., AA18──> online
//       ^                      │                                        │
//       └──── Close, "Disc Cluster" (yellow) or Error (red) ────────────┘
//
// Messages for streams (codes 0 to 8) go to the dispatch once CurrentStream is set; an
// outgoing connection (code 9) goes to ConnectOut. A message that cannot be handled is logged
// and skipped; the rest of the block and the held tail are handled as usual.
//
// The operational log hears when a cluster server connects, comes online and drops, and of the
// users' lines lost meanwhile; messages each way are counted for the summary.

#include <asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/ErrorLog.h"
#include "base/OperationsLog.h"
#include "base/Settings.h"
#include "codec/LinkCodec.h"
#include "link/ClusterDispatch.h"
#include "model/MonitorFeed.h"
#include "model/ViewModel.h"
#include "platform/Clock.h"
#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"
#include "streams/ClusterUplink.h"
#include "streams/UserStreams.h"

namespace velgate {

/// Where the link stands with its cluster server.
enum class LinkState {
  kListening,  ///< no cluster server, or one that has not spoken yet
  kConnected,  ///< the cluster server has sent its first block
  kOnline,     ///< the ready word came and the resync list went out: streams are carried
};

class ClusterLink final : public ClusterUplink, private TcpSocketEvents {
 public:
  static constexpr std::size_t kSendCap = 64 * 1024 * 1024;
  /// A caller on the cluster port that has not introduced itself by then is dropped, so a
  /// silent connection cannot keep the real cluster server out.
  static constexpr int kGreetingWaitMs = 10000;

  /// What the link works with besides the streams; every part outlives it.
  struct Parts {
    ViewModel& view;
    const Settings& settings;
    ErrorLogFile& error_log;
    MonitorFeed& monitor;
    const Clock& clock;
    /// When the gateway started, for the greeting's reply.
    const DateTime& start_time;
    /// The program's folder, for the greeting's reply.
    std::string folder;
    OperationsLog& oplog;
  };

  /// shutdown_ordered: the cluster sent "10" "disconnect"; runs inside the link's handler.
  ClusterLink(asio::io_context& io, TimerQueue& timers, UserStreams& streams, Parts parts,
              std::function<void()> shutdown_ordered);

  /// Listens on ClusterPort (StartTelnet); throws RunTimeError when it cannot.
  void Listen();
  /// The confirmed "Disc Cluster" action: the link closes and the port listens again.
  void Disconnect();
  /// Closes a connected cluster server that ClusterAllow no longer allows; true when it did.
  bool DropIfNotAllowed();
  /// Closes the socket for good (shutdown).
  void Close();
  bool SendToCluster(std::string_view message) override;
  bool SendStraight(std::string_view message) override;
  bool ClusterOnline() const override { return state_ == LinkState::kOnline; }

  /// Handles one block the cluster sent, as its socket delivers it.
  void ReceiveBlock(std::string_view data);

  LinkState State() const { return state_; }
  /// When the link last came online (steady ms); read while it is online.
  std::int64_t OnlineSinceMs() const { return online_since_ms_; }
  /// Messages sent to the cluster and received from it since start.
  std::uint64_t SentMessages() const { return sent_messages_; }
  std::uint64_t ReceivedMessages() const { return received_messages_; }
  /// The stream named by the last message that named one.
  std::int16_t CurrentStream() const { return current_stream_; }
  /// The incomplete tail of the cluster's output (RxHolding).
  const std::string& RxHolding() const { return splitter_.Holding(); }
  /// The socket VelgateCluster.
  TcpSocket& Socket() { return socket_; }
  const TcpSocket& Socket() const { return socket_; }

 private:
  void OnConnectionRequest(int index, PendingConnection& request) override;
  void OnDataArrival(int index, std::string_view data) override;
  void OnConnect(int) override {}
  void OnClose(int index) override;
  void OnError(int index, const RunTimeError& error) override;

  void ReturnToListening(Colour colour);
  void Dropped(DropReason reason, Colour colour);
  void GreetingOverdue();
  void SendResyncList();
  std::string ResyncLine(int s) const;
  /// Handles one message; false when the gateway was ordered to end.
  bool HandleMessage(std::string_view message, int& marker);
  void RouteCoded(int& marker);
  void LogFailure(const RunTimeError& error, int marker);

  UserStreams& streams_;
  StreamTable& table_;
  ViewModel& view_;
  const Settings& settings_;
  ErrorLogFile& error_log_;
  OperationsLog& oplog_;
  const DateTime& start_time_;
  std::string folder_;
  std::function<void()> shutdown_ordered_;
  TcpSocket socket_;
  Timer greeting_wait_;
  ClusterDispatch dispatch_;
  DownstreamSplitter splitter_;
  LinkFields fields_;
  LinkState state_ = LinkState::kListening;
  std::int16_t current_stream_ = 0;
  // The stream field of the message that failed, when that field itself was bad.
  static constexpr std::size_t kMostFieldShown = 32;
  std::optional<std::string> bad_stream_field_;
  bool caller_connected_ = false;  // a cluster server was taken and has not dropped since
  std::uint64_t sent_messages_ = 0;
  std::uint64_t received_messages_ = 0;
  std::int64_t online_since_ms_ = 0;
  const Clock& clock_;
};

}  // namespace velgate
