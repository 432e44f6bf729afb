#pragma once
// The control socket: the operator's tools (velgatectl) connect to a local socket and send one
// request line at a time; each is carried out through the operator's actions and answered.
// Only root and the gateway's own user or group are served, at most eight at once; the
// operational log tells of each refused caller and of each command that changes something.

#include <asio/io_context.hpp>
#include <string>

#include "app/OperatorActions.h"
#include "base/OperationsLog.h"
#include "control/ControlCommands.h"
#include "platform/LocalSocketServer.h"

namespace velgate {

class ControlServer final : private LocalSocketEvents {
 public:
  ControlServer(asio::io_context& io, const Clock& clock, TimerQueue& timers,
                OperatorActions& actions, OperationsLog& oplog);

  /// Opens the socket at path; false (told in the operational log) when it cannot.
  bool Open(const std::string& path);
  /// Closes every client and removes the socket file.
  void Close() { server_.Close(); }
  /// The socket server, for tests to look into.
  const LocalSocketServer& Server() const { return server_; }

 private:
  void OnRequest(std::uint64_t client, std::string_view line) override;
  void OnLineTooLong(std::uint64_t client) override;
  std::string OnRefused(const PeerCredentials& peer, LocalRefusal why) override;

  asio::io_context& io_;
  OperatorActions& actions_;
  OperationsLog& oplog_;
  ControlCommands commands_;
  LocalSocketServer server_;
};

}  // namespace velgate
