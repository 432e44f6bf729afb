// User input: what a stream's user sends goes up to the cluster, block by block for a raw stream
// and assembled into lines otherwise. Before login, the first line is the login line; web
// requests and known nuisance logins are refused and their address locked out.

#include <algorithm>

#include "link/ClusterLink.h"
#include "platform/NumberText.h"
#include "streams/TelnetFilter.h"
#include "streams/UserStreams.h"

namespace velgate {
namespace {

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// Backspace editing: each Chr(8) after the first character removes itself and the character
// before it; Chr(8)s left at the very start are removed last.
void ApplyBackspaces(std::string& held) {
  std::string edited;
  edited.reserve(held.size());
  for (char c : held) {
    if (c == '\b' && !edited.empty()) {
      edited.pop_back();
    } else {
      edited += c;
    }
  }
  if (!edited.empty() && edited[0] == '\b') {
    std::erase(edited, '\b');
  }
  held.swap(edited);
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

bool EndsWithLineEnd(std::string_view held) {
  return !held.empty() && (held.back() == '\r' || held.back() == '\n');
}

}  // namespace

void UserStreams::OnDataArrival(int s, std::string_view data) {
  try {
    HandleInput(s, data);
  } catch (const RunTimeError& error) {
    std::string detail = error.Description() + " " + PlainNumber(s) + " ";
    detail += data;
    error_log_.Write("VelgateIn_DataArrival", detail);
  }
}

void UserStreams::HandleInput(int s, std::string_view data) {
  const std::size_t i = static_cast<std::size_t>(s);
  if (table_.StreamLineMode[i]) {
    // Telnet option negotiation and the NUL after a CR are not text.
    filtered_.clear();
    FilterTelnet(table_.StreamTelnet[i], data, filtered_);
  } else {
    filtered_.assign(data);
    if (filtered_.size() > 1000) table_.StreamLineMode[i] = 1;
  }
  // A user's Chr(3) must never end a link message early.
  std::replace(filtered_.begin(), filtered_.end(), '\x03', '\x02');
  const std::int32_t state = table_.StreamState[i];
  if (state == 9) return;
  std::string prefix = state == 7 ? "AA00^" : "AA03^";
  if (state != 7) table_.tmrDisconnect[i].Restart();
  prefix += PlainNumber(s);
  prefix += '^';

  if (!table_.StreamLineMode[i]) {
    if (monitor_.MonitorActive && monitor_.MonitoredStream == s) {
      monitor_.SendToMonitor("^ZQ63^" + filtered_);
    }
    link_.SendToCluster(prefix + filtered_ + kEtx);
    return;
  }
  std::string& held = table_.StreamInputHolding[i];
  held += filtered_;
  if (held.size() > kMostHeldText && (state == 2 || !EndsWithLineEnd(held))) {
    // No line end in sight: the stream is ended as if its user had hung up.
    error_log_.Write("VelgateIn_DataArrival", "Held text passed " + PlainNumber(kMostHeldText) +
                                                  " characters without a line end " +
                                                  PlainNumber(s));
    held.clear();
    CloseStream(s);
    return;
  }
  if (state == 2) {
    LoginSteps(s, prefix);
  } else {
    SendHeldLines(s, prefix);
  }
}

void UserStreams::LoginSteps(int s, const std::string& prefix) {
  const std::size_t i = static_cast<std::size_t>(s);
  std::string& held = table_.StreamInputHolding[i];
  ApplyBackspaces(held);
  StatusRow& row = view_.MutableRow(s);
  row.call.text = held;
  if (row.call.colour != colours::kYellow) row.call.colour = colours::kYellow;
  if (StartsWith(held, "GET /") || StartsWith(held, "TEAMLUC") || StartsWith(held, "Demo ")) {
    RefuseNuisance(s);
    return;
  }
  std::size_t end_length = 0;
  const std::size_t end = FindLineEnd(held, end_length);
  if (end == std::string::npos) return;
  std::string line = held.substr(0, end);
  held.erase(0, end + end_length);
  row.call.text = line;
  link_.SendToCluster(prefix + line + kEtx);
  row.call.colour = colours::kGreen;
  row.port.colour = colours::kYellow;
  table_.StreamState[i] = 3;
  if (monitor_.MonitorActive) {
    SendCallFieldUpdate(s, '6');
    SendCallFieldUpdate(s, '7');
  }
}

void UserStreams::SendHeldLines(int s, const std::string& prefix) {
  std::string& held = table_.StreamInputHolding[static_cast<std::size_t>(s)];
  std::string out;
  if (EndsWith(held, "\r\n")) {
    out.swap(held);
  } else if (EndsWith(held, "\n\r")) {
    out.assign(held, 0, held.size() - 2);
    out += "\r\n";
  } else if (EndsWithLineEnd(held)) {
    out.assign(held, 0, held.size() - 1);
    out += "\r\n";
  } else {
    return;
  }
  held.clear();
  if (monitor_.MonitorActive && monitor_.MonitoredStream == s) {
    monitor_.SendToMonitor("^ZQ63^" + out);
  }
  link_.SendToCluster(prefix + out + kEtx);
}

void UserStreams::RefuseNuisance(int s) {
  StatusRow& row = view_.MutableRow(s);
  // Locked out from the next connection request on.
  settings_.AddLockOut(row.address.text);
  table_.StreamState[static_cast<std::size_t>(s)] = 9;
  row.call.colour = colours::kRed;
  row.port.colour = colours::kLightPink;
  if (monitor_.MonitorActive) SendCallFieldUpdate(s, '6');
}

void UserStreams::SendCallFieldUpdate(int s, char field) {
  const StatusRow& row = view_.Row(s);
  std::string update = monitor_.MonitoredStream == s ? "^ZQ60^" : "^ZQ66^";
  update += PlainNumber(s);
  update += '^';
  update += field;
  update += '^';
  update += field == '6' ? row.call.text : PlainNumber(row.call.colour);
  monitor_.SendToMonitor(update);
}

}  // namespace velgate
