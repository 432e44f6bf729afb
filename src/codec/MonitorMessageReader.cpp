#include "codec/MonitorMessageReader.h"

#include <vector>

#include "platform/NumberText.h"

namespace velgate::monitor_messages {
namespace {

// A number as the builders write it: plain, or with a blank before a non-negative one.
std::optional<std::int32_t> Number(std::string_view text) {
  if (text.starts_with(' ')) text.remove_prefix(1);
  return ParseStrictInteger(text);
}

// The text up to the next "^", taken off the front of rest; nothing when there is no "^".
std::optional<std::string_view> Field(std::string_view& rest) {
  const std::size_t caret = rest.find('^');
  if (caret == std::string_view::npos) return std::nullopt;
  const std::string_view field = rest.substr(0, caret);
  rest.remove_prefix(caret + 1);
  return field;
}

// The text after the last "^", taken off the back of rest.
std::optional<std::string_view> LastField(std::string_view& rest) {
  const std::size_t caret = rest.rfind('^');
  if (caret == std::string_view::npos) return std::nullopt;
  const std::string_view field = rest.substr(caret + 1);
  rest = rest.substr(0, caret);
  return field;
}

std::optional<Message> ReadRow(bool selected, std::string_view rest) {
  const auto stream_text = Field(rest);
  if (!stream_text) return std::nullopt;
  const auto stream = Number(*stream_text);
  if (!stream) return std::nullopt;
  // One field of the call-sign column: "s^6^text" or "s^7^colour".
  if (rest.size() >= 2 && (rest[0] == '6' || rest[0] == '7') && rest[1] == '^') {
    const char field = rest[0];
    const std::string_view value = rest.substr(2);
    if (field == '7' && !Number(value)) return std::nullopt;
    return CallFieldMessage{selected, *stream, field, std::string(value)};
  }
  // The whole row: 0, address, colour, port, colour, call, colour, 0, tip.
  std::string_view front[5];
  for (auto& field : front) {
    const auto next = Field(rest);
    if (!next) return std::nullopt;
    field = *next;
  }
  std::string_view back[3];
  for (auto& field : back) {
    const auto last = LastField(rest);
    if (!last) return std::nullopt;
    field = *last;
  }
  const auto address_colour = Number(front[2]);
  const auto port_colour = Number(front[4]);
  const auto call_colour = Number(back[2]);
  if (front[0] != "0" || back[1] != "0" || !address_colour || !port_colour || !call_colour)
    return std::nullopt;
  return RowMessage{selected,
                    *stream,
                    std::string(front[1]),
                    *address_colour,
                    std::string(front[3]),
                    *port_colour,
                    std::string(rest),
                    *call_colour,
                    std::string(back[0])};
}

}  // namespace

std::optional<Message> ReadMessage(std::string_view message) {
  if (message.size() < 6 || !message.starts_with("^ZQ") || message[5] != '^') return std::nullopt;
  const std::string_view code = message.substr(3, 2);
  std::string_view rest = message.substr(6);
  if (code == "60" || code == "66") return ReadRow(code == "60", rest);
  if (code == "63") return CopyMessage{false, std::string(rest)};
  if (code == "64") {
    if (!rest.starts_with("\r\n\r\n")) return std::nullopt;
    return CopyMessage{true, std::string(rest.substr(4))};
  }
  if (code == "70") {
    const auto stream = Field(rest);
    if (!stream || !Number(*stream) || !rest.ends_with("\r\n")) return std::nullopt;
    return TraceMessage{*Number(*stream), std::string(rest.substr(0, rest.size() - 2))};
  }
  if (code == "92") return StatusMessage{std::string(rest)};
  // The rest begin with a number and a "^".
  const auto first = Field(rest);
  const auto number = first ? Number(*first) : std::nullopt;
  if (!number) return std::nullopt;
  if (code == "80") {
    if (!rest.ends_with('^')) return std::nullopt;
    return CounterMessage{*number, std::string(rest.substr(0, rest.size() - 1))};
  }
  if (code == "81") {
    const auto colour_text = Field(rest);
    const auto colour = colour_text ? Number(*colour_text) : std::nullopt;
    if (!colour) return std::nullopt;
    return ListenerMessage{*number, *colour, std::string(rest)};
  }
  if (code == "90" || code == "91") return MarkMessage{code == "90", *number, std::string(rest)};
  return std::nullopt;
}

}  // namespace velgate::monitor_messages
