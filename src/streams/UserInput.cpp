// User input: what a stream's user sends goes up to the cluster, block by block for a raw stream
// and assembled into lines otherwise. Before login, the first line is the login line; web
// requests and known nuisance logins are refused and their address locked out.

#include <algorithm>

#include "codec/LinkCodec.h"
#include "codec/MonitorMessages.h"
#include "codec/TelnetFilter.h"
#include "platform/NumberText.h"
#include "streams/UserStreams.h"

namespace velgate {
namespace {

// Backspace editing of the login line as it arrives: each Chr(8) after the first character
// removes itself and the character before it; Chr(8)s left at the very start are removed once
// the block is done. held has no Chr(8) before (the last block's edit removed them all), so
// editing only the new bytes gives what editing everything again would. Returns the lowest
// position that changed.
std::size_t AppendEdited(std::string& held, std::string_view fresh) {
  std::size_t changed_from = held.size();
  for (char c : fresh) {
    if (c == '\b' && !held.empty()) {
      held.pop_back();
      changed_from = std::min(changed_from, held.size());
    } else {
      held += c;
    }
  }
  if (!held.empty() && held[0] == '\b') {
    std::erase(held, '\b');
    changed_from = 0;
  }
  return changed_from;
}

// The first line end: the first of the kinds CR LF, LF CR, LF, CR that occurs at all.
std::size_t FindLineEnd(std::string_view held, std::size_t& length) {
  for (std::string_view end : {std::string_view("\r\n"), std::string_view("\n\r"),
                               std::string_view("\n"), std::string_view("\r")}) {
    std::size_t at = held.find(end);
    if (at != std::string_view::npos) {
      length = end.size();
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace

void UserStreams::OnDataArrival(int s, std::string_view data) {
  try {
    table_.At(s).active_s = NowSeconds();
    HandleInput(s, data);
  } catch (const RunTimeError& error) {
    std::string detail = error.Description() + " " + PlainNumber(s) + " ";
    detail += data;
    error_log_.Write("VelgateIn_DataArrival", detail);
  }
}

void UserStreams::HandleInput(int s, std::string_view data) {
  Stream& stream = table_.At(s);
  if (stream.line_mode) {
    // Telnet option negotiation and the NUL after a CR are not text.
    filtered_.clear();
    FilterTelnet(stream.telnet, data, filtered_);
  } else {
    filtered_.assign(data);
    if (filtered_.size() > 1000) stream.line_mode = true;
  }
  // A user's Chr(3) must never end a link message early.
  std::replace(filtered_.begin(), filtered_.end(), '\x03', '\x02');
  const StreamState state = stream.state;
  if (state == StreamState::kRefused) return;
  const bool logged_in = state == StreamState::kLoggedIn;
  std::string prefix = logged_in ? "AA00^" : "AA03^";
  prefix += PlainNumber(s);
  prefix += '^';

  if (!stream.line_mode) {
    CopyInputToMonitor(s, filtered_);
    SendUp(s, prefix + filtered_ + kEtx);
    return;
  }
  if (state == StreamState::kAnnounced) {
    LoginSteps(s, filtered_, prefix);
    return;
  }
  // Held text never holds a line end between blocks: complete lines leave at once, so a line
  // end can only be among the new bytes.
  std::string& held = stream.held_input;
  const std::size_t fresh_from = held.size();
  held += filtered_;
  const std::size_t found = std::string_view(held).substr(fresh_from).find_last_of("\r\n");
  const std::size_t last_end = found == std::string_view::npos ? found : fresh_from + found;
  const std::size_t unfinished =
      last_end == std::string::npos ? held.size() : held.size() - last_end - 1;
  if (unfinished > kMostHeldText) {
    HeldTextTooLong(s);
    return;
  }
  SendHeldLines(s, last_end, prefix);
}

void UserStreams::HeldTextTooLong(int s) {
  // One line without an end in sight: the stream is ended as if its user had hung up.
  error_log_.Write("VelgateIn_DataArrival", "Held text passed " + PlainNumber(kMostHeldText) +
                                                " characters without a line end " + PlainNumber(s));
  table_.At(s).held_input.clear();
  CloseStream(s, StreamEnding::kLineTooLong);
}

void UserStreams::LoginSteps(int s, std::string_view fresh, const std::string& prefix) {
  Stream& stream = table_.At(s);
  std::string& held = stream.held_input;
  const std::size_t changed_from = AppendEdited(held, fresh);
  StatusRow& row = view_.MutableRow(s);
  row.call.text = held;
  if (row.call.colour != colours::kYellow) row.call.colour = colours::kYellow;
  const std::string_view typed = held;
  if (typed.starts_with("GET /")) {
    RefuseNuisance(s, Refusal::kNuisanceWeb);
    return;
  }
  if (typed.starts_with("TEAMLUC") || typed.starts_with("Demo ")) {
    RefuseNuisance(s, Refusal::kNuisanceLogin);
    return;
  }
  // Before the new bytes there was no line end: only they are searched.
  std::size_t end_length = 0;
  std::size_t end = FindLineEnd(typed.substr(changed_from), end_length);
  if (end == std::string::npos) {
    if (held.size() > kMostHeldText) HeldTextTooLong(s);
    return;
  }
  end += changed_from;
  std::string line = held.substr(0, end);
  held.erase(0, end + end_length);
  row.call.text = line;
  SendUp(s, prefix + line + kEtx);
  row.call.colour = colours::kGreen;
  row.port.colour = colours::kYellow;
  table_.SetState(s, StreamState::kLoginSent);
  if (monitor_.MonitorActive) {
    SendCallFieldUpdate(s, '6');
    SendCallFieldUpdate(s, '7');
  }
}

void UserStreams::SendHeldLines(int s, std::size_t last_end, const std::string& prefix) {
  if (last_end == std::string::npos) return;
  // The complete lines go up in one message, their last line end made CR LF; the unfinished
  // rest waits for its end.
  std::string& held = table_.At(s).held_input;
  const std::string_view complete = std::string_view(held).substr(0, last_end + 1);
  std::string out;
  if (complete.ends_with("\r\n")) {
    out.assign(complete);
  } else if (complete.ends_with("\n\r")) {
    out.assign(complete.substr(0, complete.size() - 2));
    out += "\r\n";
  } else {
    out.assign(complete.substr(0, complete.size() - 1));
    out += "\r\n";
  }
  held.erase(0, last_end + 1);
  CopyInputToMonitor(s, out);
  SendUp(s, prefix + out + kEtx);
}

void UserStreams::SendUp(int s, const std::string& message) {
  // Counted, not logged: the summary and the cluster's return tell how many were lost.
  if (!uplink_->SendToCluster(message)) {
    ++discarded_lines_;
    ++discarded_since_start_;
    return;
  }
  if (message.starts_with("AA03^")) table_.At(s).login_asked = true;
}

void UserStreams::CopyInputToMonitor(int s, std::string_view text) {
  if (monitor_.MonitorActive && monitor_.Selected(s)) {
    monitor_.SendToMonitor(monitor_messages::InputCopy(text));
  }
}

void UserStreams::RefuseNuisance(int s, Refusal reason) {
  TellRefused(table_.Socket(s), reason);
  StatusRow& row = view_.MutableRow(s);
  // Locked out from the next connection request on: an IPv6 caller with its /64, any address
  // of which it may take. A bridge caller has no address of its own to lock out (the bridge's
  // is every packet user's).
  const Stream& stream = table_.At(s);
  if (!stream.is_bridge && stream.address_key != IpAddress::kNoCountKey)
    settings_.AddLockOut(IpAddress::CountKeyText(stream.address_key));
  table_.SetState(s, StreamState::kRefused);
  row.call.colour = colours::kRed;
  row.port.colour = colours::kLightPink;
  if (monitor_.MonitorActive) SendCallFieldUpdate(s, '6');
}

void UserStreams::SendCallFieldUpdate(int s, char field) {
  monitor_.SendToMonitor(monitor_messages::CallField(monitor_.Selected(s), s, view_.Row(s), field));
}

}  // namespace velgate
