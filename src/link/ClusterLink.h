#pragma once
// The cluster link: the one socket VelgateCluster, its handshake and resync, SendToCluster, and
// the receive loop that splits the cluster's output into messages and routes them.
//
//   listening ──request──> connected ──"7261": AA01, AA38..., AA18──> online
//       ^                      │                                        │
//       └──── Close, "Disc Cluster" (yellow) or Error (red) ────────────┘
//
// Messages for streams (codes 0 to 8) go to the dispatch hook once CurrentStream is set; an
// outgoing connection (code 9) goes to ConnectOut. A message that cannot be handled is logged
// and skipped; the rest of the block and the held tail are handled as usual.

#include <asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ErrorLog.h"
#include "app/Settings.h"
#include "link/LinkCodec.h"
#include "platform/Clock.h"
#include "platform/TcpSocket.h"
#include "streams/StreamTable.h"
#include "ui/ViewModel.h"

namespace velgate {

/// The fields of one downstream message.
using LinkFields = std::vector<std::string_view>;

class ClusterLink final : private TcpSocketEvents {
 public:
  static constexpr std::size_t kSendCap = 64 * 1024 * 1024;
  static constexpr const char* kDiscQuestion =
      "Do you really want to terminate the cluster connection?";
  static constexpr const char* kDiscTitle = "Disconnect?";

  struct Hooks {
    /// "10" "disconnect": the cluster orders the gateway to end.
    std::function<void()> shutdown_ordered;
    /// Text for a stream, as SendToStream delivers it.
    std::function<void(int stream, std::string_view text)> send_to_stream;
    /// Code 9: an outgoing connection (call, host, port).
    std::function<void(std::string_view, std::string_view, std::string_view)> connect_out;
    /// Codes 0 to 8 for CurrentStream; marker is the position for the failure line.
    std::function<void(int code, const LinkFields& fields, int& marker)> dispatch;
  };

  ClusterLink(asio::io_context& io, StreamTable& streams, ViewModel& view, const Settings& settings,
              ErrorLogFile& error_log, const DateTime& start_time, std::string folder, Hooks hooks);

  /// Listens on ClusterPort (StartTelnet); throws RunTimeError when it cannot.
  void Listen();
  /// The confirmed "Disc Cluster" action: the link closes and the port listens again.
  void Disconnect();
  /// Closes the socket for good (shutdown).
  void Close();
  /// Sends one upstream message while the link is online; drops it otherwise.
  void SendToCluster(std::string_view message);
  /// Sends straight to the socket, online or not; false when it is not connected.
  bool SendStraight(std::string_view message);

  /// Handles one block the cluster sent, as its socket delivers it.
  void ReceiveBlock(std::string_view data);

  bool ClusterConnected() const { return cluster_connected_; }
  bool ClusterOnline() const { return cluster_online_; }
  /// The stream named by the last message that named one.
  std::int16_t CurrentStream() const { return current_stream_; }
  /// The incomplete tail of the cluster's output (RxHolding).
  const std::string& RxHolding() const { return splitter_.Holding(); }
  TcpSocket& Socket() { return socket_; }

 private:
  void OnConnectionRequest(int index, PendingConnection& request) override;
  void OnDataArrival(int index, std::string_view data) override;
  void OnConnect(int) override {}
  void OnClose(int index) override;
  void OnError(int index, const RunTimeError& error) override;

  void ReturnToListening(Colour colour);
  void SendResyncList();
  std::string ResyncLine(int s) const;
  /// Handles one message; false when the gateway was ordered to end.
  bool HandleMessage(std::string_view message, int& marker);
  void RouteCoded(int& marker);
  void LogFailure(const RunTimeError& error, int marker);

  StreamTable& streams_;
  ViewModel& view_;
  const Settings& settings_;
  ErrorLogFile& error_log_;
  const DateTime& start_time_;
  std::string folder_;
  Hooks hooks_;
  TcpSocket socket_;
  DownstreamSplitter splitter_;
  LinkFields fields_;
  bool cluster_connected_ = false;
  bool cluster_online_ = false;
  std::int16_t current_stream_ = 0;
};

}  // namespace velgate
