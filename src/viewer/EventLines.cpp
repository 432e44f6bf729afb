#include "viewer/EventLines.h"

#include "platform/NumberText.h"

namespace velgate::viewer {
namespace {

std::string OrDash(const std::string& text) {
  return text.empty() ? "-" : Printable(text, 64);
}

}  // namespace

std::string LinkWords(const LinkStatus& status, const std::string& target) {
  switch (status.state) {
    case LinkState::kConnected:
      return "connected " + target;
    case LinkState::kConnecting:
      return "connecting " + target;
    case LinkState::kWaiting:
      break;
  }
  const std::string again = PlainNumber(status.retry_in_s) + " s";
  if (status.refused) return "refused, again in " + again;
  return "reconnecting in " + again + " (" + Printable(status.why, 80) + ")";
}

void EventLines::RowChanged(const ViewerRow& row, RowState) {
  Write("row " + PlainNumber(row.stream) + " " + std::string(StateWords(row.state)) + " call=" +
        OrDash(row.call) + " address=" + OrDash(row.address) + " port=" + OrDash(row.port));
}

void EventLines::TrafficAdded(const TrafficLine& line) {
  static constexpr const char* kKinds[] = {"in ", "out ", "trace "};
  writer_(line.time + " " + kKinds[static_cast<int>(line.kind)] + PlainNumber(line.stream) + " " +
          line.text);
}

void EventLines::SummaryChanged(const std::string& what) {
  Write("summary " + what);
}

void EventLines::BadMessage(const std::string& text) {
  Write("bad message " + text);
}

void EventLines::LinkChanged(const LinkStatus& status) {
  Write("link " + LinkWords(status, session_.Target()));
}

void EventLines::Write(const std::string& text) {
  writer_(TimeOfDay(clock_.Now().local) + " " + text);
}

}  // namespace velgate::viewer
