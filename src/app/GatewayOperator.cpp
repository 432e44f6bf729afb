// The operator's actions beyond the console line: ending a stream, the lock-out list, reload,
// and what the gateway is doing right now.

#include <algorithm>

#include "app/Gateway.h"
#include "base/AddressRules.h"
#include "base/Version.h"
#include "platform/NumberText.h"

namespace velgate {
namespace {

const char* StateWord(const Stream& stream) {
  if (stream.socket->State() == SocketState::kConnecting) return "connecting";
  switch (stream.state) {
    case StreamState::kAccepted:
      return "accepted";
    case StreamState::kAnnounced:
      return "announced";
    case StreamState::kLoginSent:
      return "login-sent";
    case StreamState::kLoggedIn:
      return "logged-in";
    case StreamState::kRefused:
      return "refused";
  }
  return "accepted";
}

bool Carried(const Stream& stream) {
  const SocketState state = stream.socket->State();
  return state == SocketState::kConnected || state == SocketState::kConnecting;
}

DateTime SecondsBefore(const DateTime& utc, std::int64_t seconds) {
  return DateTimeFromSeconds(SecondsSinceEpoch(utc) - seconds);
}

// Whole seconds between a stream's stamp and now, as the stamps are kept.
std::int64_t SecondsSince(std::uint32_t stamp_s, std::int64_t now_ms) {
  return std::max<std::int64_t>(0, now_ms / 1000 - stamp_s);
}

std::string_view FirstWordOf(std::string_view text) {
  return text.substr(0, text.find_first_of(" :"));
}

std::string Names(const std::vector<std::string>& lines) {
  std::string names;
  for (const std::string& line : lines) {
    const std::string_view name = FirstWordOf(line);
    if (names.find(name) != std::string::npos) continue;
    if (!names.empty()) names += ',';
    names += name;
  }
  return names;
}

}  // namespace

ActionResult Gateway::Kick(int s) {
  StreamTable& table = streams_.Table();
  if (s < store_.Current().FirstStreamIndex || s > table.StreamMax() || !Carried(table.At(s)))
    return {false, "stream " + PlainNumber(s) + " is not connected"};
  const std::string call = view_.Row(s).call.text;
  streams_.CloseStream(s, StreamEnding::kOperator);
  return {true, "stream " + PlainNumber(s) + (call.empty() ? "" : " (" + call + ")") + " ended"};
}

std::vector<std::string> Gateway::LockOutList() const {
  const Settings& settings = store_.Current();
  return {settings.LockOuts.begin() + 1, settings.LockOuts.begin() + settings.LockOutCount + 1};
}

ActionResult Gateway::StoreEditedLockOuts(const LockOutEditor& editor, std::string text) {
  Settings& settings = store_.Current();
  const WindowPlacement window{
      static_cast<float>(settings.LockOutsTop), static_cast<float>(settings.LockOutsLeft),
      static_cast<float>(settings.LockOutsHeight), static_cast<float>(settings.LockOutsWidth)};
  // Every entry in force has its row, so none is appended behind them.
  if (!store_.SaveLockOuts(editor.SavedList(), settings.LockOutCount, window)) {
    return {false, text +
                       " in the list in force, but Velgate.cfg could not be written (see "
                       "error.log): the change is lost at the next start"};
  }
  return {true, text};
}

ActionResult Gateway::AddLockOut(std::string_view prefix) {
  const Settings& settings = store_.Current();
  if (prefix.empty()) return {false, "a lock-out needs a prefix (an empty one refuses everyone)"};
  if (KindOfAddressRule(prefix) == AddressRuleKind::kBad)
    return {false, std::string(prefix) +
                       " is neither an address prefix (\"192.0.2.\", \"2001:db8:\") nor a network "
                       "(\"192.0.2.0/24\", \"2001:db8::/32\"): nothing changed"};
  const std::string entry(prefix);
  if (settings.LockOutPosition(entry) != 0)
    return {true, entry + " is already in the lock-out list: nothing changed"};
  LockOutEditor editor(settings);
  editor.Add(entry);
  int matching = 0;
  const StreamTable& table = streams_.Table();
  for (int s = settings.FirstStreamIndex; s <= table.StreamMax(); ++s) {
    const Stream& stream = table.At(s);
    if (Carried(stream) && AddressRuleMatches(entry, stream.socket->RemoteHostIP())) ++matching;
  }
  const std::string matches =
      PlainNumber(matching) +
      (matching == 1 ? " connected stream matches" : " connected streams match") +
      (matching == 0 ? "" : " and stays connected (kick ends it)");
  return StoreEditedLockOuts(editor, entry + " added to the lock-out list; " + matches);
}

ActionResult Gateway::DeleteLockOut(std::string_view prefix) {
  LockOutEditor editor(store_.Current());
  int deleted = 0;
  for (int i = 1; i <= editor.RowCount(); ++i) {
    if (editor.Row(i) != prefix) continue;
    editor.Delete(i);
    ++deleted;
  }
  const std::string entry(prefix);
  if (deleted == 0) return {false, entry + " is not in the lock-out list"};
  return StoreEditedLockOuts(editor, entry + " removed from the lock-out list");
}

ReloadReport Gateway::Reload() {
  ReloadReport report = store_.Reload();
  if (!report.read) {
    oplog_.Record(oplog::ReloadFailed{report.error});
    return report;
  }
  const Settings& settings = store_.Current();
  StreamTable& table = streams_.Table();
  // The table never shrinks; a larger PreLoad prepares its streams now, as a start would.
  streams_.Table().SetConnectionOptions({StreamTable::kUserSendBuffer, settings.KeepAlive});
  const std::int32_t wanted = settings.PreLoad + settings.NumListenPorts;
  if (wanted > table.StreamMax() + 1) table.GrowStreamTable(wanted - (table.StreamMax() + 1));
  std::string closed;
  if (link_.DropIfNotAllowed()) {
    report.closed.push_back("the cluster server: not in ClusterAllow");
    closed = "cluster";
  }
  const std::string monitor_ip = monitor_port_.ClientAddress();
  if (monitor_port_.DropIfNotAllowed()) {
    report.closed.push_back("the monitor client " + monitor_ip + ": not in MonitorAllow");
    closed += closed.empty() ? "monitor" : ",monitor";
  }
  oplog_.Record(oplog::Reloaded{Names(report.changed), Names(report.restart),
                                static_cast<std::int64_t>(report.skipped.size()), closed});
  return report;
}

GatewayStatus Gateway::Status() const {
  GatewayStatus status;
  const std::int64_t now_ms = clock_.SteadyMs();
  const WallTime now = clock_.Now();
  const Settings& settings = store_.Current();
  const StreamTable& table = streams_.Table();
  status.version = kVersion;
  status.uptime_s = (now_ms - started_ms_) / 1000;
  status.started_utc = SecondsBefore(now.utc, status.uptime_s);
  const LinkState link = link_.State();
  status.cluster_state = link == LinkState::kOnline      ? "online"
                         : link == LinkState::kConnected ? "connected"
                                                         : "listening";
  if (link_.Socket().State() == SocketState::kConnected)
    status.cluster_ip = link_.Socket().RemoteHostIP();
  if (link == LinkState::kOnline) {
    status.cluster_online_s = (now_ms - link_.OnlineSinceMs()) / 1000;
    status.cluster_online_since_utc = SecondsBefore(now.utc, status.cluster_online_s);
  }
  status.lines_lost = streams_.DiscardedLinesSinceStart();
  status.users = table.LoggedInUsers();
  for (int s = settings.FirstStreamIndex; s <= table.StreamMax(); ++s)
    status.connected += Carried(table.At(s));
  const HighwaterMarks& marks = store_.Marks();
  status.session_high = marks.SessionHigh;
  status.session_high_date = marks.SessionHighDate;
  status.all_time_high = marks.AllTimeHigh;
  status.all_time_high_date = marks.AllTimeHighDate;
  for (int i = 1; i <= settings.NumListenPorts && i <= table.StreamMax(); ++i) {
    const TcpSocket& listener = *table.At(i).socket;
    const bool bridge = settings.AGWEnabled != 0 && i == settings.AGWIndex;
    const std::string& port = bridge ? settings.AGWPort : settings.UserPort(i);
    const auto& indicators = view_.Indicators();
    status.listeners.push_back(
        {i, listener.LocalPort() != 0 ? listener.LocalPort() : TextToInteger32(port),
         bridge ? "bridge" : "users", listener.State() == SocketState::kListening,
         static_cast<std::size_t>(i) < indicators.size() ? indicators[i].text : ""});
  }
  status.listeners.push_back(
      {0, settings.ClusterPort, "cluster", link_.Socket().State() == SocketState::kListening, ""});
  status.listeners.push_back({0, TextToInteger32(settings.MonitorPort), "monitor",
                              monitor_port_.Socket().State() == SocketState::kListening, ""});
  status.monitor_ip = monitor_port_.ClientAddress();
  status.open_files_limit = descriptors_.Reserve().Limit();
  status.descriptor_room = descriptors_.Room();
  status.last_error = error_log_.LastLine();
  status.unsaved = saved_files_.Unsaved();
  return status;
}

StreamStatus Gateway::StreamNow(int s, std::int64_t now_ms, const WallTime& now) const {
  const Stream& stream = streams_.Table().At(s);
  const StatusRow& row = view_.Row(s);
  StreamStatus line;
  line.stream = s;
  line.state = StateWord(stream);
  line.connection = stream.connection;
  line.address = stream.socket->RemoteHostIP();
  line.call = row.call.text;
  line.listener = row.address_tag == "0" ? "out" : PlainNumber(stream.socket->LocalPort());
  line.connected_utc = SecondsBefore(now.utc, SecondsSince(stream.connected_s, now_ms));
  if (stream.state == StreamState::kLoggedIn)
    line.logged_in_utc = SecondsBefore(now.utc, SecondsSince(stream.logged_in_s, now_ms));
  line.idle_s = SecondsSince(stream.active_s, now_ms);
  line.bytes_in = stream.socket->BytesReceived();
  line.bytes_out = stream.socket->BytesSent();
  return line;
}

std::vector<StreamStatus> Gateway::ConnectedStreams() const {
  std::vector<StreamStatus> streams;
  const std::int64_t now_ms = clock_.SteadyMs();
  const WallTime now = clock_.Now();
  const StreamTable& table = streams_.Table();
  for (int s = store_.Current().FirstStreamIndex; s <= table.StreamMax(); ++s)
    if (Carried(table.At(s))) streams.push_back(StreamNow(s, now_ms, now));
  return streams;
}

}  // namespace velgate
