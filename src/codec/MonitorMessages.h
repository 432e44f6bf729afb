#pragma once
// Every message the monitor client is sent, one builder per code. Fields are joined by "^";
// the Chr(4) that ends each message is added when it is queued.
//
//   ^ZQ60^ / ^ZQ66^  a stream's row (60 for the selected stream), or one field of it
//   ^ZQ63^ ^ZQ64^    copies of the selected stream's input and output
//   ^ZQ70^           a trace of a flagged stream's output
//   ^ZQ80^ ^ZQ81^    a listener's watchdog counter; a listener in the summary
//   ^ZQ90^ ^ZQ91^    the all-time and session highwater marks
//   ^ZQ92^           the status line

#include <cstdint>
#include <string>
#include <string_view>

#include "model/ViewModel.h"

namespace velgate::monitor_messages {

/// The row code: "^ZQ60" for the selected stream, "^ZQ66" for any other.
inline const char* RowCode(bool selected) {
  return selected ? "^ZQ60" : "^ZQ66";
}
/// The whole status row of stream s.
std::string Row(bool selected, int s, const StatusRow& row);
/// One field of stream s's call-sign column: 6 its text, 7 its colour.
std::string CallField(bool selected, int s, const StatusRow& row, char field);
/// "^ZQ63^" and the selected stream's input as it goes up.
std::string InputCopy(std::string_view text);
/// "^ZQ64^" and the selected stream's output, after an empty line.
std::string OutputCopy(std::string_view text);
/// "^ZQ70^s^" and a flagged stream's output, with a line end.
std::string Trace(int s, std::string_view text);
/// "^ZQ80^ i^counter^": listener i's watchdog counter ("0", "1" or "R").
std::string ListenerCounter(int i, std::string_view counter);
/// "^ZQ81^ i^colour^port": listener i as the summary lists it.
std::string Listener(int i, Colour colour, std::string_view port);
/// "^ZQ90^ count^date": the all-time highwater mark.
std::string AllTimeHigh(std::int32_t count, std::string_view date);
/// "^ZQ91^ count^date": the session highwater mark.
std::string SessionHigh(std::int32_t count, std::string_view date);
/// "^ZQ92^" and the status line.
std::string Status(std::string_view status_line);

}  // namespace velgate::monitor_messages
