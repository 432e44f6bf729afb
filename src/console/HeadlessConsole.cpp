#include "console/HeadlessConsole.h"

#include <optional>

#include "platform/NumberText.h"

namespace velgate {
namespace {

// One line of output: line breaks inside a text become blanks.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

std::string_view FirstWord(std::string_view line, std::string_view& rest) {
  std::size_t start = line.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    rest = {};
    return {};
  }
  std::size_t end = line.find(' ', start);
  if (end == std::string_view::npos) {
    rest = {};
    return line.substr(start);
  }
  rest = line.substr(end + 1);
  return line.substr(start, end - start);
}

}  // namespace

HeadlessConsole::HeadlessConsole(OperatorActions& actions, std::ostream& out)
    : actions_(actions),
      out_(out),
      shown_status_(MainLabels{}.lblDate),
      shown_error_(MainLabels{}.txtError) {}

void HeadlessConsole::Execute(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::string_view rest;
  std::string_view command = FirstWord(line, rest);
  if (command.empty()) return;
  if (command == "quit") {
    actions_.CloseByUser();
  } else if (command == "send") {
    Send(rest);
  } else if (command == "disc") {
    actions_.DisconnectCluster();
  } else {
    Say(LogPriority::kWarning,
        "unknown command \"" + std::string(command) + "\" (send S TEXT, disc, quit)");
  }
}

void HeadlessConsole::Send(std::string_view arguments) {
  std::string_view text;
  std::string_view stream_text = FirstWord(arguments, text);
  std::optional<std::int32_t> stream = ParseStrictInteger(stream_text);
  const StreamRange streams = actions_.ConsoleStreams();
  if (!stream || *stream < streams.first || *stream > streams.last) {
    Say(LogPriority::kWarning, "send: the stream must be a number from " +
                                   PlainNumber(streams.first) + " to " + PlainNumber(streams.last) +
                                   " (send S TEXT)");
    return;
  }
  actions_.ConsoleEnter(*stream, text);
}

void HeadlessConsole::Alert(const std::string& title, const std::string& text) {
  Say(LogPriority::kError, "alert: " + title + ": " + text);
}

void HeadlessConsole::Report(const std::string& line) {
  const bool error = line.starts_with("error:");
  const bool warning = line.starts_with("warning:");
  Say(error ? LogPriority::kError : warning ? LogPriority::kWarning : LogPriority::kInfo, line);
}

void HeadlessConsole::LabelsChanged(const MainLabels& labels) {
  if (labels.lblDate != shown_status_) {
    shown_status_ = labels.lblDate;
    if (!shown_status_.empty()) Say(LogPriority::kInfo, "status: " + shown_status_);
  }
  if (labels.txtError != shown_error_) {
    shown_error_ = labels.txtError;
    Say(LogPriority::kError, "error: " + shown_error_);
  }
}

void HeadlessConsole::Say(LogPriority priority, const std::string& line) {
  // One write a line, as the operational log writes its own on the same stream.
  const std::string text =
      "<" + std::to_string(static_cast<int>(priority)) + ">" + OneLine(line) + "\n";
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.flush();
}

}  // namespace velgate
