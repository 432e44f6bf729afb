#pragma once
// The monitor port: one client at a time, no login. The 20 ms timer timerMonitor drains the
// send ring onto the socket (and slows to 60 s while nobody is connected); the client steers
// the feed with its commands.
//
//   listening ──request──> connected (feed on, no stream selected) ──close/error──> listening
//
// The operational log hears of each client attached and dropped, and of callers refused.

#include <asio/io_context.hpp>
#include <cstdint>
#include <string>

#include "base/ErrorLog.h"
#include "base/OperationsLog.h"
#include "base/Settings.h"
#include "codec/MonitorCommands.h"
#include "model/HighwaterMarks.h"
#include "model/MonitorFeed.h"
#include "model/ViewModel.h"
#include "platform/TcpSocket.h"
#include "platform/TimerQueue.h"
#include "streams/StreamTable.h"

namespace velgate {

class MonitorPort final : private TcpSocketEvents {
 public:
  static constexpr std::size_t kSendCap = 8 * 1024 * 1024;
  /// A message buffer larger than this is given back once its message is sent.
  static constexpr std::size_t kKeptMessageCapacity = 64 * 1024;

  /// What the monitor port reads and steers; every part outlives it.
  struct Parts {
    MonitorFeed& feed;
    StreamTable& streams;
    ViewModel& view;
    const Settings& settings;
    const HighwaterMarks& marks;
    ErrorLogFile& error_log;
    OperationsLog& oplog;
  };

  MonitorPort(asio::io_context& io, TimerQueue& timers, Parts parts);

  /// The monitor socket VelgateMonitor.
  TcpSocket& Socket() { return socket_; }
  const TcpSocket& Socket() const { return socket_; }
  /// The queue the client is sent from.
  MonitorFeed& Feed() { return feed_; }
  /// Opens the monitor listener on MonitorPort; throws RunTimeError when it cannot.
  void Listen();
  /// Closes the socket and stops the drain for good (shutdown).
  void Stop();
  /// Closes an attached client that MonitorAllow no longer allows; true when it did.
  bool DropIfNotAllowed();
  /// The attached client's address; empty when none is attached.
  const std::string& ClientAddress() const { return client_ip_; }
  /// Carries out one block of commands, as the client's socket delivers it.
  void ReceiveBlock(std::string_view data) { OnDataArrival(0, data); }

 private:
  void OnConnectionRequest(int index, PendingConnection& request) override;
  void OnDataArrival(int index, std::string_view data) override;
  void OnConnect(int) override {}
  void OnClose(int index) override;
  void OnError(int index, const RunTimeError& error) override;

  void Drain();
  void ListenAgain(const char* where);
  void Dropped(DropReason reason);
  void Carry(const MonitorCommand& command);
  void SendSummary();
  void SetFlag(double n, bool on);
  void SetAllFlags(bool on);
  void SendRow(int s, bool selected);
  void ReportCommandFailure(const RunTimeError& error);

  TcpSocket socket_;
  Timer timer_;
  MonitorFeed& feed_;
  StreamTable& streams_;
  ViewModel& view_;
  const Settings& settings_;
  const HighwaterMarks& marks_;
  ErrorLogFile& error_log_;
  OperationsLog& oplog_;
  std::string client_ip_;  // the client attached; empty when none
  std::string sending_;
  // What the diagnostic line reports of the command being carried out.
  struct Progress {
    std::int64_t caret_or_row = 0;
    std::int64_t listener_or_number = 0;
    std::int64_t flag = 0;
    int spot = 0;
  } progress_;
};

}  // namespace velgate
