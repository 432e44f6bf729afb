#pragma once
// The control socket's commands: one request line in, one reply out, through the operator's
// actions and nothing else. A request that starts with the word "json" gets its reply as one
// line of JSON ({"ok":true,...} or {"ok":false,"error":"..."}); any other gets lines of text
// that end with a line of its own: "ok", or "error: " and the reason. No other line of a reply
// is "ok" or starts with "error:".
//
//   status                                 the gateway now
//   streams [--call CALL] [--address PFX]  one line per connected stream
//   send STREAM TEXT                       the operator console's line for the stream
//   kick STREAM                            the stream ends as if its user hung up
//   disc-cluster                           "Disc Cluster", answered Yes
//   lockout list | add PREFIX | del PREFIX the lock-out list, written at once
//   reload                                 Velgate.cfg read again
//   quit                                   the operator's close: settings written, then shutdown
//   help                                   the commands

#include <optional>
#include <string>
#include <string_view>

#include "app/OperatorActions.h"
#include "control/ControlReplies.h"

namespace velgate {

class ControlCommands {
 public:
  explicit ControlCommands(OperatorActions& actions) : actions_(actions) {}

  /// Carries out one request line (without its line end).
  ControlReply Execute(std::string_view line);

 private:
  std::optional<int> StreamNumber(std::string_view text) const;
  ControlReply Streams(const ReplyForm& form, std::string_view rest);
  ControlReply Send(const ReplyForm& form, std::string_view rest);
  ControlReply LockOut(const ReplyForm& form, std::string_view rest);

  OperatorActions& actions_;
};

}  // namespace velgate
