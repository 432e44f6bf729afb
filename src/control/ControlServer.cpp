#include "control/ControlServer.h"

#include <asio/post.hpp>

#include "platform/RunTimeError.h"

namespace velgate {

ControlServer::ControlServer(asio::io_context& io, const Clock& clock, TimerQueue& timers,
                             OperatorActions& actions, OperationsLog& oplog)
    : io_(io),
      actions_(actions),
      oplog_(oplog),
      commands_(actions),
      server_(io, clock, timers, *this, LocalSocketServer::Limits{}) {}

bool ControlServer::Open(const std::string& path) {
  try {
    server_.Open(path);
  } catch (const RunTimeError& error) {
    oplog_.Record(oplog::ControlFailed{path, error.Description()});
    return false;
  }
  oplog_.Record(oplog::ControlListening{path});
  return true;
}

void ControlServer::OnRequest(std::uint64_t client, std::string_view line) {
  ControlReply reply;
  try {
    reply = commands_.Execute(line);
  } catch (const RunTimeError& error) {
    reply = ReplyForm(line.starts_with("json")).Message(false, error.Description());
  }
  if (reply.changes) {
    const std::optional<PeerCredentials> peer = server_.PeerOf(client);
    oplog_.Record(oplog::ControlCommand{std::string(line), peer ? peer->uid : -1, reply.ok});
  }
  server_.Send(client, reply.bytes);
  // The gateway ends from the loop, never inside this handler; the reply is already written.
  if (reply.quit) asio::post(io_, [this] { actions_.CloseByUser(); });
}

void ControlServer::OnLineTooLong(std::uint64_t client) {
  server_.Send(client, "error: a request line is at most " +
                           std::to_string(LocalSocketServer::Limits{}.longest_line) + " bytes\n");
}

std::string ControlServer::OnRefused(const PeerCredentials& peer, LocalRefusal why) {
  oplog_.Record(oplog::ControlRefused{peer.uid, peer.pid, why == LocalRefusal::kTooMany});
  return "error: the gateway serves at most " +
         std::to_string(LocalSocketServer::Limits{}.most_clients) + " control clients at once\n";
}

}  // namespace velgate
