#pragma once
// The monitor client's side of the messages in MonitorMessages.h: one message (without its
// Chr(4)) read back into its parts. Whatever the builders write, the reader gives back; anything
// else is no message. A call sign is the one field that may hold a "^", so a row is read from both
// ends.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "model/Colours.h"

namespace velgate::monitor_messages {

/// ^ZQ60^ / ^ZQ66^: a stream's whole row.
struct RowMessage {
  bool selected = false;
  int stream = 0;
  std::string address;
  Colour address_colour = 0;
  std::string port;
  Colour port_colour = 0;
  std::string call;
  Colour call_colour = 0;
  std::string tip;  ///< the login time, when there is one
};
/// ^ZQ60^ / ^ZQ66^ with field 6 (the call sign's text) or 7 (its colour).
struct CallFieldMessage {
  bool selected = false;
  int stream = 0;
  char field = '6';
  std::string value;
};
/// ^ZQ63^ / ^ZQ64^: a copy of the selected stream's input or output.
struct CopyMessage {
  bool output = false;
  std::string text;
};
/// ^ZQ70^: a flagged stream's output.
struct TraceMessage {
  int stream = 0;
  std::string text;
};
/// ^ZQ80^: a listener's watchdog counter.
struct CounterMessage {
  int listener = 0;
  std::string counter;
};
/// ^ZQ81^: a listener in the summary.
struct ListenerMessage {
  int listener = 0;
  Colour colour = 0;
  std::string port;
};
/// ^ZQ90^ / ^ZQ91^: the all-time or the session highwater mark.
struct MarkMessage {
  bool all_time = false;
  std::int32_t count = 0;
  std::string date;
};
/// ^ZQ92^: the status line.
struct StatusMessage {
  std::string line;
};

using Message = std::variant<RowMessage, CallFieldMessage, CopyMessage, TraceMessage,
                             CounterMessage, ListenerMessage, MarkMessage, StatusMessage>;

/// The parts of one message, or nothing when it is none of the forms above.
std::optional<Message> ReadMessage(std::string_view message);

}  // namespace velgate::monitor_messages
