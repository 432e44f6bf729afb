#pragma once
// The user side: every event of the user sockets VelgateIn (listeners and streams), and the
// operations other parts use to deliver to a stream or end it.
//
// A stream's road: accepted (0) ── announced (2) ── login line sent (3) ── logged in (7)
//                  refused callers and locked-out addresses sit in 9, their input ignored.
// Endings and what the cluster hears:
//   the user hangs up, or the login timeout runs out   CloseStream       AA17 with the connection
//   the socket fails                                    ReportStreamEnded, then VelgateInForceClose
//   a send finds the stream gone                        ReportStreamEnded AA17 with "0"
//   the cluster orders the close                        VelgateInForceClose   nothing
//   shutdown                                            CloseVelgatesIn       nothing

#include <asio/io_context.hpp>
#include <functional>
#include <string>
#include <string_view>

#include "app/ErrorLog.h"
#include "app/Settings.h"
#include "monitor/MonitorFeed.h"
#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"
#include "protection/Highwater.h"
#include "streams/StreamTable.h"
#include "ui/ViewModel.h"

namespace velgate {

class ClusterLink;

class UserStreams final : private TcpSocketEvents {
 public:
  static constexpr std::size_t kMostHeldText = 64 * 1024;

  /// on_listener_request: a connection request reached listener i (its watchdog is reset).
  UserStreams(asio::io_context& io, TimerQueue& timers, ViewModel& view, Settings& settings,
              ErrorLogFile& error_log, ClusterLink& link, MonitorFeed& monitor,
              Highwater& highwater, std::function<void(int)> on_listener_request);

  /// The stream table with its sockets.
  StreamTable& Table() { return table_; }
  const StreamTable& Table() const { return table_; }

  /// Sends text to stream s unchanged; a stream whose socket is gone is reported ended.
  void SendToStream(int s, std::string_view text);
  /// Tells the cluster stream s is gone (AA17 with "0"); its socket is left as it is.
  void ReportStreamEnded(int s);
  /// Closes stream s at the gateway's initiative; the cluster is told nothing.
  void VelgateInForceClose(int s);
  /// Ends stream s as when its user hangs up: AA17 with its connection number.
  void CloseStream(int s);
  /// Stops the login timer of stream s, as every ending does.
  void StopLoginTimer(int s);
  /// Opens an outgoing connection for the cluster on the first free stream.
  void ConnectOut(std::string_view call, std::string_view host, std::string_view port);

 private:
  // Admission.
  void OnConnectionRequest(int index, PendingConnection& request) override;
  void Admit(int index, PendingConnection& request, int& examined);
  bool LockedOut(const std::string& address, int s);
  // Input.
  void OnDataArrival(int index, std::string_view data) override;
  void HandleInput(int s, std::string_view data);
  void LoginSteps(int s, const std::string& prefix);
  void SendHeldLines(int s, const std::string& prefix);
  void RefuseNuisance(int s);
  void SendCallFieldUpdate(int s, char field);
  // Endings and the outgoing connection's completion.
  void OnConnect(int index) override;
  void OnClose(int index) override;
  void OnError(int index, const RunTimeError& error) override;
  void LoginTimerTick(int s);

  ViewModel& view_;
  Settings& settings_;
  ErrorLogFile& error_log_;
  ClusterLink& link_;
  MonitorFeed& monitor_;
  Highwater& highwater_;
  std::function<void(int)> on_listener_request_;
  StreamTable table_;
  std::string filtered_;  // one block without its telnet commands
};

}  // namespace velgate
