#include "base/OperationsLine.h"

#include <cstdio>
#include <type_traits>

namespace velgate {
namespace {

const char* RoleWord(PortRole role) {
  switch (role) {
    case PortRole::kCluster:
      return "cluster";
    case PortRole::kUsers:
      return "users";
    case PortRole::kBridge:
      return "bridge";
    case PortRole::kMonitor:
      return "monitor";
  }
  return "users";
}

const char* RefusalWord(Refusal reason) {
  switch (reason) {
    case Refusal::kPerAddressLimit:
      return "per-address-limit";
    case Refusal::kLockedOut:
      return "locked-out";
    case Refusal::kNuisanceWeb:
      return "nuisance-web";
    case Refusal::kNuisanceLogin:
      return "nuisance-login";
    case Refusal::kClusterAllow:
      return "cluster-allow";
    case Refusal::kMonitorAllow:
      return "monitor-allow";
    case Refusal::kDescriptorReserve:
      return "descriptor-reserve";
    case Refusal::kRate:
      return "rate";
  }
  return "per-address-limit";
}

const char* DropWord(DropReason reason) {
  switch (reason) {
    case DropReason::kClosed:
      return "closed";
    case DropReason::kFailed:
      return "failed";
    case DropReason::kQueueCap:
      return "queue-cap";
    case DropReason::kGreetingTimeout:
      return "greeting-timeout";
    case DropReason::kOperator:
      return "operator";
    case DropReason::kNotAllowed:
      return "not-allowed";
  }
  return "failed";
}

const char* EndingWord(StreamEnding how) {
  switch (how) {
    case StreamEnding::kHungUp:
      return "hung-up";
    case StreamEnding::kLoginTimeout:
      return "login-timeout";
    case StreamEnding::kRefusedTimeout:
      return "refused-timeout";
    case StreamEnding::kLineTooLong:
      return "line-too-long";
    case StreamEnding::kFailed:
      return "failed";
    case StreamEnding::kQueueCap:
      return "queue-cap";
    case StreamEnding::kClusterClosed:
      return "cluster-closed";
    case StreamEnding::kOperator:
      return "operator";
  }
  return "failed";
}

// A value that is one word: what could break it or forge a key becomes `_`.
std::string WordValue(std::string_view text, std::size_t most) {
  std::string value;
  for (const char c : text.substr(0, most)) {
    const auto byte = static_cast<unsigned char>(c);
    const bool safe = byte > 0x20 && byte < 0x7f && c != '"' && c != '=';
    value += safe ? c : '_';
  }
  return value.empty() ? "-" : value;
}

std::string Word(std::string_view text) {
  return WordValue(text, std::string_view::npos);
}

// One line: the priority, the message, then each field as " key=value".
class Line {
 public:
  Line(LogPriority priority, std::string_view message) {
    text_ = "<" + std::to_string(static_cast<int>(priority)) + ">";
    text_ += message;
  }
  Line& Add(std::string_view key, std::string_view value) {
    text_ += ' ';
    text_ += key;
    text_ += '=';
    text_ += value;
    return *this;
  }
  template <typename Number>
  requires std::is_integral_v<Number> Line& Add(std::string_view key, Number value) {
    return Add(key, std::to_string(value));
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

template <typename... Fns>
struct Overloaded : Fns... {
  using Fns::operator()...;
};
template <typename... Fns>
Overloaded(Fns...) -> Overloaded<Fns...>;

std::string LineOf(const oplog::Event& event, LogPriority priority) {
  using namespace oplog;
  const auto line = [priority](std::string_view message) { return Line(priority, message); };
  return std::visit(
      Overloaded{
          [&](const Starting& e) {
            return line("starting")
                .Add("version", Word(e.version))
                .Add("dir", QuotedValue(e.folder))
                .Add("open_files", e.open_files)
                .Take();
          },
          [&](const Listening& e) {
            return line("listening").Add("port", e.port).Add("for", RoleWord(e.role)).Take();
          },
          [&](const ListenFailed& e) {
            return line("listen-failed")
                .Add("port", Word(e.port))
                .Add("for", RoleWord(e.role))
                .Add("error", QuotedValue(e.error))
                .Take();
          },
          [&](const ListenIPv4Only& e) {
            return line("listen ipv4-only").Add("error", QuotedValue(e.error)).Take();
          },
          [&](const ClusterConnected& e) {
            return line("cluster connected").Add("ip", Word(e.ip)).Take();
          },
          [&](const ClusterOnline& e) {
            return line("cluster online").Add("streams", e.streams).Take();
          },
          [&](const ClusterDropped& e) {
            return line("cluster dropped").Add("reason", DropWord(e.reason)).Take();
          },
          [&](const LinesDiscarded& e) {
            return line("cluster discarded").Add("lines", e.lines).Take();
          },
          [&](const MonitorAttached& e) {
            return line("monitor attached").Add("ip", Word(e.ip)).Take();
          },
          [&](const MonitorDropped& e) {
            return line("monitor dropped")
                .Add("ip", Word(e.ip))
                .Add("reason", DropWord(e.reason))
                .Take();
          },
          [&](const UserLoggedIn& e) {
            return line("user logged-in")
                .Add("stream", e.stream)
                .Add("call", CallValue(e.call))
                .Add("ip", Word(e.ip))
                .Add("port", e.port)
                .Take();
          },
          [&](const UserEnded& e) {
            return line("user ended")
                .Add("stream", e.stream)
                .Add("call", CallValue(e.call))
                .Add("how", EndingWord(e.how))
                .Take();
          },
          [&](const Refused& e) {
            return line("refused")
                .Add("ip", Word(e.ip))
                .Add("port", e.port)
                .Add("reason", RefusalWord(e.reason))
                .Take();
          },
          [&](const RateSpellEnded& e) {
            return line("rate spell-ended").Add("ip", Word(e.ip)).Add("refused", e.refused).Take();
          },
          [&](const ListenerRecycled& e) {
            return line("listener recycled").Add("port", e.port).Take();
          },
          [&](const Summary& e) {
            return line("summary")
                .Add("users", e.users)
                .Add("highest", e.highest)
                .Add("to_cluster", e.to_cluster)
                .Add("from_cluster", e.from_cluster)
                .Add("queued_bytes", e.queued_bytes)
                .Take();
          },
          [&](const Reloaded& e) {
            return line("settings reloaded")
                .Add("changed", Word(e.changed))
                .Add("restart", Word(e.restart))
                .Add("skipped", e.skipped)
                .Add("closed", Word(e.closed))
                .Take();
          },
          [&](const ReloadFailed& e) {
            return line("settings reload-failed").Add("error", QuotedValue(e.error)).Take();
          },
          [&](const ControlListening& e) {
            return line("control listening").Add("path", QuotedValue(e.path)).Take();
          },
          [&](const ControlFailed& e) {
            return line("control listen-failed")
                .Add("path", QuotedValue(e.path))
                .Add("error", QuotedValue(e.error))
                .Take();
          },
          [&](const ControlRefused& e) {
            return line("control refused")
                .Add("uid", e.uid)
                .Add("pid", e.pid)
                .Add("reason", e.too_many ? "too-many" : "credentials")
                .Take();
          },
          [&](const ControlCommand& e) {
            return line("control")
                .Add("command", QuotedValue(e.command))
                .Add("uid", e.uid)
                .Add("result", e.ok ? "ok" : "error")
                .Take();
          },
          [&](const SaveFailed& e) {
            return line("save-failed")
                .Add("file", QuotedValue(e.file))
                .Add("error", QuotedValue(e.error))
                .Take();
          },
          [&](const Stopping& e) {
            Line stopping = line("stopping");
            if (!e.signal.empty()) return stopping.Add("signal", Word(e.signal)).Take();
            return stopping.Add("by", Word(e.by)).Take();
          },
      },
      event);
}

}  // namespace

LogPriority PriorityOf(const oplog::Event& event) {
  using namespace oplog;
  if (std::holds_alternative<ListenFailed>(event) || std::holds_alternative<ControlFailed>(event) ||
      std::holds_alternative<SaveFailed>(event))
    return LogPriority::kError;
  if (const auto* reloaded = std::get_if<Reloaded>(&event); reloaded && reloaded->skipped > 0)
    return LogPriority::kWarning;
  if (std::holds_alternative<ClusterDropped>(event) ||
      std::holds_alternative<LinesDiscarded>(event) || std::holds_alternative<Refused>(event) ||
      std::holds_alternative<RateSpellEnded>(event) ||
      std::holds_alternative<ListenIPv4Only>(event) ||
      std::holds_alternative<ListenerRecycled>(event) ||
      std::holds_alternative<ReloadFailed>(event) ||
      std::holds_alternative<ControlRefused>(event)) {
    return LogPriority::kWarning;
  }
  return LogPriority::kInfo;
}

std::string OperationsLine(const oplog::Event& event) {
  return LineOf(event, PriorityOf(event));
}

std::string CallValue(std::string_view text) {
  return WordValue(text, kMostCallBytes);
}

std::string QuotedValue(std::string_view text) {
  std::string value = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      value += '\\';
      value += c;
    } else if (byte < 0x20 || byte == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      value += escaped;
    } else {
      value += c;
    }
  }
  return value + '"';
}

void OperationsLineWriter::Record(const oplog::Event& event) {
  if (!Shows(PriorityOf(event))) return;
  if (writable_ && !writable_()) {
    ++left_out_;
    return;
  }
  if (left_out_ > 0) {
    Write("<4>log left-out lines=" + std::to_string(left_out_) + '\n');
    left_out_ = 0;
  }
  Write(OperationsLine(event) + '\n');
}

void OperationsLineWriter::Write(const std::string& line) {
  // One write a line, so that lines from elsewhere on the same stream never cut into it.
  out_.write(line.data(), static_cast<std::streamsize>(line.size()));
  out_.flush();
}

}  // namespace velgate
