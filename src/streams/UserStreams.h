#pragma once
// The user side: every event of the user sockets VelgateIn (listeners and streams), and the
// operations other parts use to deliver to a stream or end it.
//
// Endings and what the cluster hears:
//   the user hangs up, or the login timeout runs out   Close handling    AA17 with the connection
//   the socket fails                                    ReportStreamEnded, then VelgateInForceClose
//   a send finds the stream gone                        ReportStreamEnded AA17 with "0"
//   the cluster orders the close                        VelgateInForceClose   nothing
//   shutdown                                            CloseVelgatesIn       nothing

#include <asio/io_context.hpp>
#include <string_view>

#include "app/ErrorLog.h"
#include "app/Settings.h"
#include "monitor/MonitorFeed.h"
#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"
#include "streams/StreamTable.h"
#include "ui/ViewModel.h"

namespace velgate {

class ClusterLink;

class UserStreams final : private TcpSocketEvents {
 public:
  UserStreams(asio::io_context& io, TimerQueue& timers, ViewModel& view, Settings& settings,
              ErrorLogFile& error_log, ClusterLink& link, MonitorFeed& monitor);

  /// The stream table with its sockets.
  StreamTable& Table() { return table_; }
  const StreamTable& Table() const { return table_; }

  /// Sends text to stream s unchanged; a stream whose socket is gone is reported ended.
  void SendToStream(int s, std::string_view text);
  /// Tells the cluster stream s is gone (AA17 with "0"); its socket is left as it is.
  void ReportStreamEnded(int s);
  /// Closes stream s at the gateway's initiative; the cluster is told nothing.
  void VelgateInForceClose(int s);

 private:
  void OnConnectionRequest(int index, PendingConnection& request) override;
  void OnDataArrival(int index, std::string_view data) override;
  void OnConnect(int index) override;
  void OnClose(int index) override;
  void OnError(int index, const RunTimeError& error) override;
  void LoginTimerTick(int s);

  ViewModel& view_;
  Settings& settings_;
  ErrorLogFile& error_log_;
  ClusterLink& link_;
  MonitorFeed& monitor_;
  StreamTable table_;
};

}  // namespace velgate
