#include "codec/MonitorMessages.h"

#include "platform/NumberText.h"

namespace velgate::monitor_messages {
namespace {

// Text from callers never ends a monitor message early or starts a forged one: Chr(3) and
// Chr(4) become Chr(2), as the link does with a user's Chr(3).
void AppendText(std::string& message, std::string_view text) {
  const std::size_t start = message.size();
  message += text;
  for (std::size_t i = start; i < message.size(); ++i) {
    if (message[i] == '\x03' || message[i] == '\x04') message[i] = '\x02';
  }
}

void AppendField(std::string& message, std::string_view field) {
  message += '^';
  AppendText(message, field);
}

std::string Mark(const char* code, std::int32_t count, std::string_view date) {
  std::string message = code + SignedBlankNumber(count);
  AppendField(message, date);
  return message;
}

}  // namespace

std::string Row(bool selected, int s, const StatusRow& row) {
  std::string message = RowCode(selected);
  AppendField(message, PlainNumber(s));
  AppendField(message, "0");
  AppendField(message, row.address.text);
  AppendField(message, PlainNumber(row.address.colour));
  AppendField(message, row.port.text);
  AppendField(message, PlainNumber(row.port.colour));
  AppendField(message, row.call.text);
  AppendField(message, PlainNumber(row.call.colour));
  AppendField(message, "0");
  AppendField(message, row.address_tip);
  return message;
}

std::string CallField(bool selected, int s, const StatusRow& row, char field) {
  std::string message = RowCode(selected);
  AppendField(message, PlainNumber(s));
  AppendField(message, std::string_view(&field, 1));
  AppendField(message, field == '6' ? row.call.text : PlainNumber(row.call.colour));
  return message;
}

std::string InputCopy(std::string_view text) {
  std::string message = "^ZQ63^";
  AppendText(message, text);
  return message;
}

std::string OutputCopy(std::string_view text) {
  std::string message = "^ZQ64^\r\n\r\n";
  AppendText(message, text);
  return message;
}

std::string Trace(int s, std::string_view text) {
  std::string message = "^ZQ70^" + PlainNumber(s);
  AppendField(message, text);
  message += "\r\n";
  return message;
}

std::string ListenerCounter(int i, std::string_view counter) {
  std::string message = "^ZQ80^" + SignedBlankNumber(i);
  AppendField(message, counter);
  message += '^';
  return message;
}

std::string Listener(int i, Colour colour, std::string_view port) {
  std::string message = "^ZQ81^" + SignedBlankNumber(i);
  AppendField(message, PlainNumber(colour));
  AppendField(message, port);
  return message;
}

std::string AllTimeHigh(std::int32_t count, std::string_view date) {
  return Mark("^ZQ90^", count, date);
}

std::string SessionHigh(std::int32_t count, std::string_view date) {
  return Mark("^ZQ91^", count, date);
}

std::string Status(std::string_view status_line) {
  std::string message = "^ZQ92^";
  AppendText(message, status_line);
  return message;
}

}  // namespace velgate::monitor_messages
