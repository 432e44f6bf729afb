#pragma once
// The client side of the control socket, as velgatectl uses it: one request, one reply.

#include <string>
#include <vector>

namespace velgate {

/// What the gateway answered, or why there was no answer.
struct ControlAnswer {
  /// The gateway was reached and answered in full.
  bool reached = false;
  /// Why it was not: the path and the reason, one line.
  std::string failure;
  /// The command was carried out.
  bool ok = false;
  /// The reply's lines: for text, those before its last line; for JSON, the one line.
  std::vector<std::string> lines;
  /// A text reply's reason after "error: ".
  std::string error;
};

/// Whether line ends a text reply ("ok" or "error: ...").
bool EndsTextReply(const std::string& line);

/// Sends request (one line, without its line end) to the socket at path and reads the whole
/// reply; gives up after timeout_ms without an answer.
ControlAnswer AskGateway(const std::string& path, const std::string& request, int timeout_ms);

}  // namespace velgate
