#pragma once
// What the monitor client knows of the gateway, built from the monitor messages alone: a row
// per stream, the summary (marks, status line, listeners), the traffic of the followed stream
// and of flagged streams, and the messages it could not read. Bytes go in as they arrive, split
// at each Chr(4); views read the model and hear of each change through ModelEvents.
//
// Everything is bounded: a message that grows past kMostMessageBytes without its Chr(4) is
// counted as bad and skipped; the traffic keeps the last kMostTrafficLines lines, each cut at
// kMostLineBytes; stream numbers beyond kMostStreams are bad messages.

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "codec/MonitorMessageReader.h"
#include "platform/Clock.h"
#include "viewer/ModelRecords.h"
#include "viewer/RowStates.h"

namespace velgate::viewer {

class MonitorModel {
 public:
  static constexpr std::size_t kMostMessageBytes = 1 << 20;
  static constexpr std::size_t kMostTrafficLines = 5000;
  static constexpr std::size_t kMostLineBytes = 400;
  static constexpr int kMostStreams = 65536;
  /// Newcomers held until taken; more than this in one go are told as one "every stream".
  static constexpr std::size_t kMostNewcomers = 256;
  /// How long an ended row stays on show, dimmed.
  static constexpr std::int64_t kFadeMs = 8000;

  explicit MonitorModel(const Clock& clock) : clock_(clock) {}

  void SetEvents(ModelEvents* events) { events_ = events; }
  /// Bytes as they came from the gateway.
  void Feed(std::string_view bytes);
  /// A new connection to the gateway: the rows and summary are asked for again, a message cut
  /// by the old connection is dropped; traffic and flags stay.
  void Reconnected();
  /// Removes the rows whose fade has run out; whether any went.
  bool DropFaded();

  /// The rows on show (occupied or fading), in stream order.
  std::vector<const ViewerRow*> ShownRows() const;
  /// Stream s's row, or nullptr when the model has none.
  const ViewerRow* Row(int s) const;
  const MarkView& AllTime() const { return all_time_; }
  const MarkView& Session() const { return session_; }
  const std::string& StatusLine() const { return status_line_; }
  const std::map<int, ListenerView>& Listeners() const { return listeners_; }
  const std::deque<TrafficLine>& Traffic() const { return traffic_; }
  void ClearTraffic();
  /// Rows whose callers are logged in.
  int LoggedIn() const;

  /// The stream whose copies arrive: chosen by the client, or the gateway's own choice.
  int Followed() const { return followed_; }
  void SetFollowed(int s) { followed_ = s, follow_new_ = false; }
  /// Whether each new caller's stream becomes the followed one.
  bool FollowNew() const { return follow_new_; }
  void SetFollowNew() { follow_new_ = true; }
  /// Streams flagged for traces by this client.
  bool Flagged(int s) const { return flagged_.contains(s); }
  void SetFlagged(int s, bool on);
  void ClearFlags() { flagged_.clear(), ++version_; }
  const std::set<int>& Flags() const { return flagged_; }

  /// The streams that took a new occupant since the last call.
  std::vector<int> TakeNewcomers() { return std::exchange(newcomers_, {}); }

  std::uint64_t BadMessages() const { return bad_messages_; }
  const std::string& LastBadMessage() const { return last_bad_; }
  /// Grows with every change a view would show.
  std::uint64_t Version() const { return version_; }

 private:
  void Take(std::string_view message);
  void Apply(const monitor_messages::RowMessage& message);
  void Apply(const monitor_messages::CallFieldMessage& message);
  void Apply(const monitor_messages::CopyMessage& message);
  void Apply(const monitor_messages::TraceMessage& message);
  void Apply(const monitor_messages::CounterMessage& message);
  void Apply(const monitor_messages::ListenerMessage& message);
  void Apply(const monitor_messages::MarkMessage& message);
  void Apply(const monitor_messages::StatusMessage& message);
  ViewerRow* RowFor(int s);
  void Changed(ViewerRow& row, RowState before, bool selected, bool text_changed);
  void AddTraffic(TrafficLine::Kind kind, int stream, std::string_view text);
  void Bad(std::string_view message);
  void Summary(const std::string& what);

  const Clock& clock_;
  ModelEvents* events_ = nullptr;
  std::string partial_;
  bool skipping_ = false;  // inside a message grown past its bound
  std::vector<ViewerRow> rows_;
  std::deque<std::pair<int, std::int64_t>> fading_;  // stream, ended_ms: oldest first
  MarkView all_time_;
  MarkView session_;
  std::string status_line_;
  std::map<int, ListenerView> listeners_;
  std::deque<TrafficLine> traffic_;
  int followed_ = 0;
  bool follow_new_ = false;
  std::set<int> flagged_;
  std::vector<int> newcomers_;
  std::uint64_t bad_messages_ = 0;
  std::string last_bad_;
  std::uint64_t version_ = 0;
};

/// HH:MM:SS.
std::string TimeOfDay(const DateTime& time);

/// Text as a terminal may show it: bytes outside printable ASCII as "\xNN", a tab as a blank,
/// cut at most bytes (with "...").
std::string Printable(std::string_view text, std::size_t most);

}  // namespace velgate::viewer
