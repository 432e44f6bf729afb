#pragma once
// The user side: every event of the user sockets VelgateIn (listeners and streams), and the
// operations other parts use to deliver to a stream or end it.
//
// Endings and what the cluster hears:
//   the user hangs up, or the login timeout runs out   CloseStream       AA17 with the connection
//   the socket fails                                    ReportStreamEnded, then VelgateInForceClose
//   a send finds the stream gone                        ReportStreamEnded AA17 with "0"
//   the cluster orders the close                        VelgateInForceClose   nothing
//   shutdown                                            StreamTable::CloseAll nothing
//
// The operational log has one "user ended" line for every caller admitted on a listener (none
// at shutdown) and a "refused" line for every caller turned away.

#include <asio/io_context.hpp>
#include <string>
#include <string_view>
#include <utility>

#include "base/ErrorLog.h"
#include "base/OperationsLog.h"
#include "base/Settings.h"
#include "model/MonitorFeed.h"
#include "model/ViewModel.h"
#include "platform/Clock.h"
#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"
#include "protection/Highwater.h"
#include "protection/ListenerWatchdog.h"
#include "protection/RateGuard.h"
#include "streams/ClusterUplink.h"
#include "streams/StreamTable.h"

namespace velgate {

class UserStreams final : private TcpSocketEvents {
 public:
  static constexpr std::size_t kMostHeldText = 64 * 1024;

  /// What the user side works with; every part outlives it.
  struct Parts {
    ViewModel& view;
    Settings& settings;
    ErrorLogFile& error_log;
    MonitorFeed& monitor;
    Highwater& highwater;
    ListenerWatchdog& watchdog;
    OperationsLog& oplog;
    /// Stamps the streams' times for the operator's list.
    const Clock& clock;
  };

  UserStreams(asio::io_context& io, TimerQueue& timers, Parts parts);

  /// The cluster link the streams send to; until then they are offline.
  void AttachUplink(ClusterUplink& uplink) { uplink_ = &uplink; }

  /// Handles one block stream s's user sent, as its socket delivers it.
  void ReceiveBlock(int s, std::string_view data) { OnDataArrival(s, data); }
  /// The stream table with its sockets.
  StreamTable& Table() { return table_; }
  const StreamTable& Table() const { return table_; }

  /// Sends text to stream s unchanged; a stream whose socket is gone is reported ended.
  void SendToStream(int s, std::string_view text);
  /// Tells the cluster stream s is gone (AA17 with "0"); its socket is left as it is.
  void ReportStreamEnded(int s);
  /// Closes stream s at the gateway's initiative; the cluster is told nothing.
  void VelgateInForceClose(int s);
  /// Ends stream s as when its user hangs up: AA17 with its connection number; how: the ending
  /// the operational log tells.
  void CloseStream(int s, StreamEnding how = StreamEnding::kHungUp);
  /// Opens an outgoing connection for the cluster on the first free stream.
  void ConnectOut(std::string_view call, std::string_view host, std::string_view port);
  /// Users' lines dropped because the cluster was not online, since the last call.
  std::int64_t TakeDiscardedLines() { return std::exchange(discarded_lines_, 0); }
  /// Users' lines dropped because the cluster was not online, since start.
  std::int64_t DiscardedLinesSinceStart() const { return discarded_since_start_; }
  /// The steady clock in whole seconds, as the streams' times are kept.
  std::uint32_t NowSeconds() const { return static_cast<std::uint32_t>(clock_.SteadyMs() / 1000); }

 private:
  // Admission.
  void OnConnectionRequest(int index, PendingConnection& request) override;
  void Admit(int index, PendingConnection& request, int& examined);
  bool LockedOut(const std::string& address, int s);
  bool RefusedForRate(const std::string& address, std::uint64_t key, PendingConnection& request,
                      int local_port);
  void EndRateSpells();
  // Input.
  void OnDataArrival(int index, std::string_view data) override;
  void HandleInput(int s, std::string_view data);
  void LoginSteps(int s, std::string_view fresh, const std::string& prefix);
  void SendHeldLines(int s, std::size_t last_end, const std::string& prefix);
  void HeldTextTooLong(int s);
  void RefuseNuisance(int s, Refusal reason);
  void SendUp(int s, const std::string& message);
  void SendCallFieldUpdate(int s, char field);
  void CopyInputToMonitor(int s, std::string_view text);
  // Endings and the outgoing connection's completion.
  void OnConnect(int index) override;
  void OnClose(int index) override;
  void OnError(int index, const RunTimeError& error) override;
  void LoginTimerTick(int s);
  void StopLoginTimer(Stream& stream);
  void SendRow(int s);
  void TellEnded(int s, StreamEnding how);
  void TellRefused(const TcpSocket& socket, Refusal reason);

  ViewModel& view_;
  Settings& settings_;
  ErrorLogFile& error_log_;
  MonitorFeed& monitor_;
  Highwater& highwater_;
  ListenerWatchdog& watchdog_;
  OperationsLog& oplog_;
  const Clock& clock_;
  NoUplink no_uplink_;
  ClusterUplink* uplink_ = &no_uplink_;
  StreamTable table_;
  RateGuard rate_guard_;
  Timer rate_spells_timer_;  // on while a spell is open, to tell its end
  std::string filtered_;     // one block without its telnet commands
  std::int64_t discarded_lines_ = 0;
  std::int64_t discarded_since_start_ = 0;
};

}  // namespace velgate
