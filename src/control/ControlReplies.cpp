#include "control/ControlReplies.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "base/AddressRules.h"
#include "base/OperationsLine.h"
#include "control/JsonWriter.h"

namespace velgate {
namespace {

std::string IsoTime(const DateTime& utc) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.year, utc.month, utc.day,
                utc.hour, utc.minute, utc.second);
  return text;
}

// One column of a text line: what a caller typed can hold no blank or control byte there.
std::string Cell(std::string_view text) {
  std::string cell;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    cell += byte > 0x20 && byte < 0x7f ? c : '_';
  }
  return cell.empty() ? "-" : cell;
}

// A line break inside a text (an error.log line holds what a caller sent) cannot end a line.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return text;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text + ' ';
}

std::string Mark(std::int64_t count, const std::string& date) {
  return std::to_string(count) + (date.empty() ? "" : " (" + date + ")");
}

bool StartsWithAnyCase(std::string_view text, std::string_view prefix) {
  if (prefix.size() > text.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) ==
           std::toupper(static_cast<unsigned char>(b));
  });
}

std::string StreamLine(const StreamStatus& s) {
  return Padded(std::to_string(s.stream), 6) + Padded(s.state, 10) +
         Padded(std::to_string(s.connection), 7) + Padded(Cell(s.address), 15) +
         Padded(Cell(s.call), 10) + Padded(s.listener, 5) + Padded(TextTime(s.connected_utc), 20) +
         Padded(s.logged_in_utc ? TextTime(*s.logged_in_utc) : "-", 20) +
         Padded(Span(s.idle_s), 11) + Padded(std::to_string(s.bytes_in), 10) +
         std::to_string(s.bytes_out);
}

void StreamObject(JsonWriter& json, const StreamStatus& s) {
  json.BeginObject()
      .Key("stream")
      .Number(s.stream)
      .Key("state")
      .String(s.state)
      .Key("connection")
      .Number(s.connection)
      .Key("address")
      .String(s.address)
      .Key("call")
      .String(s.call)
      .Key("listener")
      .String(s.listener)
      .Key("connected")
      .String(IsoTime(s.connected_utc))
      .Key("logged_in");
  if (s.logged_in_utc) {
    json.String(IsoTime(*s.logged_in_utc));
  } else {
    json.Null();
  }
  json.Key("idle_s")
      .Number(s.idle_s)
      .Key("bytes_in")
      .Unsigned(s.bytes_in)
      .Key("bytes_out")
      .Unsigned(s.bytes_out)
      .EndObject();
}

void Strings(JsonWriter& json, std::string_view key, const std::vector<std::string>& texts) {
  json.Key(key).BeginArray();
  for (const std::string& text : texts) json.String(text);
  json.EndArray();
}

std::string Finished(JsonWriter& json) {
  return json.EndObject().Take() + "\n";
}

}  // namespace

const std::vector<std::string> kHelpLines = {
    "status                                 the gateway now",
    "streams [--call CALL] [--address PFX]  one line per connected stream",
    "send STREAM TEXT                       TEXT to the cluster as a line of the stream",
    "kick STREAM                            the stream ends as if its user hung up",
    "disc-cluster                           disconnects the cluster server",
    "lockout list|add PREFIX|del PREFIX     the lock-out list, written at once",
    "reload                                 reads Velgate.cfg again",
    "quit                                   writes the settings and ends the gateway",
    "json COMMAND                           the reply as one line of JSON",
};

std::string TextTime(const DateTime& utc) {
  std::string text = IsoTime(utc);
  text[10] = ' ';
  return text;
}

std::string Span(std::int64_t seconds) {
  char text[48];
  seconds = std::max<std::int64_t>(seconds, 0);
  std::snprintf(text, sizeof text, "%lldd %02lld:%02lld:%02lld",
                static_cast<long long>(seconds / 86400),
                static_cast<long long>(seconds / 3600 % 24),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

bool StreamFilter::Shows(const StreamStatus& stream) const {
  return StartsWithAnyCase(stream.call, call) &&
         (address.empty() || AddressRuleMatches(address, stream.address));
}

ControlReply ReplyForm::Text(bool ok, const std::vector<std::string>& lines,
                             const std::string& error) const {
  ControlReply reply{ok, {}, false, false};
  for (const std::string& line : lines) {
    // Only the last line may read as the end of the reply.
    if (line == "ok" || line.starts_with("error:")) reply.bytes += ' ';
    reply.bytes += OneLine(line);
    reply.bytes += '\n';
  }
  reply.bytes += ok ? "ok\n" : "error: " + OneLine(error) + "\n";
  return reply;
}

ControlReply ReplyForm::Message(bool ok, const std::string& text) const {
  if (!json_) return ok ? Text(true, {text}, "") : Text(false, {}, text);
  JsonWriter json;
  json.BeginObject().Key("ok").Bool(ok).Key(ok ? "message" : "error").String(text);
  return {ok, Finished(json), false, false};
}

ControlReply ReplyForm::Changed(ControlReply reply) const {
  reply.changes = true;
  return reply;
}

ControlReply ReplyForm::Lines(const std::vector<std::string>& lines) const {
  if (!json_) return Text(true, lines, "");
  JsonWriter json;
  json.BeginObject().Key("ok").Bool(true);
  Strings(json, "lines", lines);
  return {true, Finished(json), false, false};
}

ControlReply ReplyForm::Status(const GatewayStatus& status) const {
  if (json_) {
    JsonWriter json;
    json.BeginObject()
        .Key("ok")
        .Bool(true)
        .Key("version")
        .String(status.version)
        .Key("started")
        .String(IsoTime(status.started_utc))
        .Key("uptime_s")
        .Number(status.uptime_s)
        .Key("cluster")
        .BeginObject()
        .Key("state")
        .String(status.cluster_state)
        .Key("address")
        .String(status.cluster_ip)
        .Key("online_since");
    if (status.cluster_online_since_utc) {
      json.String(IsoTime(*status.cluster_online_since_utc));
    } else {
      json.Null();
    }
    json.Key("lines_lost")
        .Number(status.lines_lost)
        .EndObject()
        .Key("users")
        .Number(status.users)
        .Key("connected")
        .Number(status.connected)
        .Key("session_high")
        .Number(status.session_high)
        .Key("session_high_date")
        .String(status.session_high_date)
        .Key("all_time_high")
        .Number(status.all_time_high)
        .Key("all_time_high_date")
        .String(status.all_time_high_date)
        .Key("listeners")
        .BeginArray();
    for (const ListenerStatus& listener : status.listeners) {
      json.BeginObject()
          .Key("port")
          .Number(listener.port)
          .Key("kind")
          .String(listener.kind)
          .Key("listening")
          .Bool(listener.listening)
          .Key("watchdog")
          .String(listener.watchdog)
          .EndObject();
    }
    json.EndArray()
        .Key("monitor_client")
        .String(status.monitor_ip)
        .Key("open_files_limit")
        .Number(status.open_files_limit)
        .Key("descriptor_room")
        .Number(status.descriptor_room)
        .Key("last_error")
        .String(status.last_error)
        .Key("unsaved")
        .String(status.unsaved);
    return {true, Finished(json), false, false};
  }
  std::vector<std::string> lines = {
      "version: " + status.version,
      "started: " + TextTime(status.started_utc) + " (up " + Span(status.uptime_s) + ")",
  };
  std::string cluster = "cluster: " + status.cluster_state;
  if (!status.cluster_ip.empty()) cluster += " from " + status.cluster_ip;
  if (status.cluster_online_since_utc) {
    cluster += " since " + TextTime(*status.cluster_online_since_utc) + " (" +
               Span(status.cluster_online_s) + ")";
  }
  lines.push_back(cluster);
  lines.push_back("lines lost while the cluster was away: " + std::to_string(status.lines_lost));
  lines.push_back("users: " + std::to_string(status.users) + " logged in, " +
                  std::to_string(status.connected) + " streams connected");
  lines.push_back("session high: " + Mark(status.session_high, status.session_high_date));
  lines.push_back("all-time high: " + Mark(status.all_time_high, status.all_time_high_date));
  for (const ListenerStatus& listener : status.listeners) {
    std::string line = "port " + std::to_string(listener.port) + ": " + listener.kind + ", " +
                       (listener.listening ? "listening" : "not listening");
    if (!listener.watchdog.empty()) line += ", watchdog " + listener.watchdog;
    lines.push_back(line);
  }
  lines.push_back("monitor client: " + (status.monitor_ip.empty() ? "none" : status.monitor_ip));
  lines.push_back("open files: limit " + std::to_string(status.open_files_limit) +
                  ", room for about " + std::to_string(status.descriptor_room) + " users");
  lines.push_back("last error: " + (status.last_error.empty() ? "none" : status.last_error));
  lines.push_back("not saved: " + (status.unsaved.empty() ? "none" : status.unsaved));
  return Text(true, lines, "");
}

ControlReply ReplyForm::Streams(const std::vector<StreamStatus>& streams,
                                const StreamFilter& filter) const {
  if (json_) {
    JsonWriter json;
    json.BeginObject().Key("ok").Bool(true).Key("streams").BeginArray();
    for (const StreamStatus& stream : streams)
      if (filter.Shows(stream)) StreamObject(json, stream);
    json.EndArray();
    return {true, Finished(json), false, false};
  }
  std::vector<std::string> lines = {
      "stream state      conn    address         call       port  connected            "
      "logged-in            idle        in         out"};
  for (const StreamStatus& stream : streams)
    if (filter.Shows(stream)) lines.push_back(StreamLine(stream));
  return Text(true, lines, "");
}

ControlReply ReplyForm::LockOuts(const std::vector<std::string>& entries) const {
  if (json_) {
    JsonWriter json;
    json.BeginObject().Key("ok").Bool(true);
    Strings(json, "lock_outs", entries);
    return {true, Finished(json), false, false};
  }
  std::vector<std::string> lines;
  for (const std::string& entry : entries) lines.push_back(QuotedValue(entry));
  return Text(true, lines, "");
}

ControlReply ReplyForm::Reload(const ReloadReport& report) const {
  const bool ok = report.read && report.skipped.empty();
  const std::string error = !report.read
                                ? report.error
                                : std::to_string(report.skipped.size()) +
                                      " bad record(s) skipped: what they touch stays as it was";
  if (json_) {
    JsonWriter json;
    json.BeginObject().Key("ok").Bool(ok);
    if (!ok) json.Key("error").String(error);
    Strings(json, "changed", report.changed);
    Strings(json, "restart", report.restart);
    Strings(json, "skipped", report.skipped);
    Strings(json, "closed", report.closed);
    return {ok, Finished(json), false, false};
  }
  std::vector<std::string> lines;
  for (const std::string& line : report.changed) lines.push_back("changed: " + line);
  for (const std::string& line : report.restart) lines.push_back("restart: " + line);
  for (const std::string& line : report.skipped) lines.push_back("skipped: " + line);
  for (const std::string& line : report.closed) lines.push_back("closed: " + line);
  if (report.read && lines.empty()) lines.push_back("nothing changed");
  return Text(ok, lines, error);
}

}  // namespace velgate
