#include "viewer/MonitorModel.h"

#include <cstdio>

#include "platform/NumberText.h"

namespace velgate::viewer {
namespace {

// Each line of a copied text, without its line end; a text that ends with one has no empty
// line after it.
template <typename Each>
void ForEachLine(std::string_view text, Each each) {
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    each(text.substr(0, end));
    if (end == std::string_view::npos) return;
    const bool pair = end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n';
    text.remove_prefix(end + (pair ? 2 : 1));
  }
}

}  // namespace

std::string TimeOfDay(const DateTime& time) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour % 100, time.minute % 100,
                time.second % 100);
  return text;
}

std::string Printable(std::string_view text, std::size_t most) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (shown.size() >= most) {
      shown.replace(most > 3 ? most - 3 : 0, std::string::npos, "...");
      break;
    }
    if (byte == '\t') {
      shown += ' ';
    } else if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0xF];
    }
  }
  return shown;
}

void MonitorModel::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\x04');
    const std::string_view piece = bytes.substr(0, end);
    if (!skipping_) partial_ += piece;
    if (partial_.size() > kMostMessageBytes) {
      Bad(partial_);
      partial_.clear();
      skipping_ = true;
    }
    if (end == std::string_view::npos) return;
    bytes.remove_prefix(end + 1);
    if (!skipping_) Take(partial_);
    partial_.clear();
    skipping_ = false;
  }
}

void MonitorModel::Reconnected() {
  partial_.clear();
  skipping_ = false;
  rows_.clear();
  fading_.clear();
  listeners_.clear();
  all_time_ = {};
  session_ = {};
  status_line_.clear();
  ++version_;
}

bool MonitorModel::DropFaded() {
  const std::int64_t now = clock_.SteadyMs();
  bool dropped = false;
  while (!fading_.empty() && fading_.front().second + kFadeMs <= now) {
    const auto [s, ended_ms] = fading_.front();
    fading_.pop_front();
    ViewerRow* row =
        s < static_cast<int>(rows_.size()) ? &rows_[static_cast<std::size_t>(s)] : nullptr;
    if (row && row->state == RowState::kEnded && row->ended_ms == ended_ms) {
      row->ended_ms = ViewerRow::kNotShown;
      dropped = true;
    }
  }
  if (dropped) ++version_;
  return dropped;
}

std::vector<const ViewerRow*> MonitorModel::ShownRows() const {
  std::vector<const ViewerRow*> shown;
  for (const ViewerRow& row : rows_)
    if (IsOccupied(row.state) ||
        (row.state == RowState::kEnded && row.ended_ms != ViewerRow::kNotShown))
      shown.push_back(&row);
  return shown;
}

const ViewerRow* MonitorModel::Row(int s) const {
  if (s < 0 || s >= static_cast<int>(rows_.size())) return nullptr;
  const ViewerRow& row = rows_[static_cast<std::size_t>(s)];
  return row.state == RowState::kFree ? nullptr : &row;
}

int MonitorModel::LoggedIn() const {
  int count = 0;
  for (const ViewerRow& row : rows_) count += row.state == RowState::kLoggedIn;
  return count;
}

void MonitorModel::ClearTraffic() {
  traffic_.clear();
  ++version_;
}

void MonitorModel::SetFlagged(int s, bool on) {
  if (on) {
    flagged_.insert(s);
  } else {
    flagged_.erase(s);
  }
  ++version_;
}

void MonitorModel::Take(std::string_view message) {
  const auto read = monitor_messages::ReadMessage(message);
  if (!read) return Bad(message);
  std::visit([this](const auto& parts) { Apply(parts); }, *read);
}

ViewerRow* MonitorModel::RowFor(int s) {
  if (s < 0 || s >= kMostStreams) return nullptr;
  if (s >= static_cast<int>(rows_.size())) rows_.resize(static_cast<std::size_t>(s) + 1);
  ViewerRow& row = rows_[static_cast<std::size_t>(s)];
  row.stream = s;
  return &row;
}

void MonitorModel::Apply(const monitor_messages::RowMessage& message) {
  ViewerRow* row = RowFor(message.stream);
  if (!row) return Bad("a row of stream " + PlainNumber(message.stream));
  const RowState before = row->state;
  const bool text_changed =
      row->address != message.address || row->port != message.port || row->call != message.call;
  static_cast<monitor_messages::RowMessage&>(*row) = message;
  Changed(*row, before, message.selected, text_changed);
}

void MonitorModel::Apply(const monitor_messages::CallFieldMessage& message) {
  ViewerRow* row = RowFor(message.stream);
  if (!row) return Bad("a row of stream " + PlainNumber(message.stream));
  const RowState before = row->state;
  bool text_changed = false;
  if (message.field == '6') {
    text_changed = row->call != message.value;
    row->call = message.value;
  } else {
    row->call_colour = ParseStrictInteger(message.value).value_or(colours::kWhite);
    // The login line sent: the gateway paints the port yellow with it but sends only the
    // call-sign fields.
    if (row->call_colour == colours::kGreen &&
        (before == RowState::kConnected || before == RowState::kLoggingIn))
      row->port_colour = colours::kYellow;
  }
  Changed(*row, before, message.selected, text_changed);
}

void MonitorModel::Changed(ViewerRow& row, RowState before, bool selected, bool text_changed) {
  row.state = StateOf(row);
  // A call-sign field update leaves the address colour the caller arrived with: a caller who
  // types has been connected before, an outgoing connection begins as calling out.
  if (row.state == RowState::kCallingOut && IsOccupied(before) && before != RowState::kCallingOut)
    row.state = RowState::kLoggingIn;
  if (selected) followed_ = row.stream;
  const bool new_occupant = !IsOccupied(before) && IsOccupied(row.state);
  if (new_occupant && follow_new_ && row.state != RowState::kCallingOut) followed_ = row.stream;
  if (new_occupant && newcomers_.size() < kMostNewcomers) newcomers_.push_back(row.stream);
  if (row.state == RowState::kEnded && before != RowState::kEnded) {
    // A row first seen ended (a refresh of a stream long gone) is not shown at all.
    row.ended_ms = IsOccupied(before) ? clock_.SteadyMs() : ViewerRow::kNotShown;
    if (row.ended_ms != ViewerRow::kNotShown) fading_.emplace_back(row.stream, row.ended_ms);
  }
  if (before == row.state && !text_changed) return;
  ++version_;
  if (events_ && (IsOccupied(before) || IsOccupied(row.state))) events_->RowChanged(row, before);
}

void MonitorModel::Apply(const monitor_messages::CopyMessage& message) {
  AddTraffic(message.output ? TrafficLine::Kind::kOutput : TrafficLine::Kind::kInput, followed_,
             message.text);
}

void MonitorModel::Apply(const monitor_messages::TraceMessage& message) {
  // The gateway flags every new stream itself; the client shows the ones its operator chose.
  if (Flagged(message.stream)) AddTraffic(TrafficLine::Kind::kTrace, message.stream, message.text);
}

void MonitorModel::AddTraffic(TrafficLine::Kind kind, int stream, std::string_view text) {
  const std::string time = TimeOfDay(clock_.Now().local);
  ForEachLine(text, [&](std::string_view line) {
    if (traffic_.size() == kMostTrafficLines) traffic_.pop_front();
    traffic_.push_back({kind, stream, time, Printable(line, kMostLineBytes)});
    if (events_) events_->TrafficAdded(traffic_.back());
  });
  ++version_;
}

void MonitorModel::Apply(const monitor_messages::CounterMessage& message) {
  ListenerView& listener = listeners_[message.listener];
  if (listener.counter == message.counter) return;
  listener.counter = message.counter;
  Summary("listener " + PlainNumber(message.listener) + " counter " +
          Printable(message.counter, 8));
}

void MonitorModel::Apply(const monitor_messages::ListenerMessage& message) {
  ListenerView& listener = listeners_[message.listener];
  if (listener.port == message.port && listener.colour == message.colour) return;
  listener.port = message.port;
  listener.colour = message.colour;
  Summary("listener " + PlainNumber(message.listener) + " port " + Printable(message.port, 16));
}

void MonitorModel::Apply(const monitor_messages::MarkMessage& message) {
  MarkView& mark = message.all_time ? all_time_ : session_;
  if (mark.known && mark.count == message.count && mark.date == message.date) return;
  mark = {message.count, message.date, true};
  Summary(std::string(message.all_time ? "all-time" : "session") + " mark " +
          PlainNumber(message.count) + " " + Printable(message.date, 40));
}

void MonitorModel::Apply(const monitor_messages::StatusMessage& message) {
  if (status_line_ == message.line) return;
  status_line_ = message.line;
  Summary("status " + Printable(message.line, 200));
}

void MonitorModel::Summary(const std::string& what) {
  ++version_;
  if (events_) events_->SummaryChanged(what);
}

void MonitorModel::Bad(std::string_view message) {
  ++bad_messages_;
  last_bad_ = Printable(message, 60);
  ++version_;
  if (events_) events_->BadMessage(last_bad_);
}

}  // namespace velgate::viewer
