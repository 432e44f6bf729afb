#include "viewer/MonitorScreen.h"

#include <algorithm>

#include "platform/NumberText.h"
#include "viewer/EventLines.h"

namespace velgate::viewer {
namespace {

// Builds one line from runs of text, cut at the screen's width.
class LineBuilder {
 public:
  explicit LineBuilder(int width) : width_(static_cast<std::size_t>(std::max(width, 0))) {}
  LineBuilder& Add(std::string_view text, Span look = {}) {
    const std::size_t room = width_ - std::min(width_, line_.text.size());
    text = text.substr(0, std::min(room, text.size()));
    look.from = line_.text.size();
    look.length = text.size();
    line_.text += text;
    if (look.length > 0 &&
        (look.colour != TerminalColour::kPlain || look.bold || look.dim || look.reverse))
      line_.spans.push_back(look);
    return *this;
  }
  /// text in a column of width characters (cut or padded), then one blank.
  LineBuilder& Column(std::string_view text, std::size_t width, Span look = {}) {
    std::string cell(text.substr(0, width));
    cell.resize(width, ' ');
    return Add(cell, look).Add(" ");
  }
  /// Pads with blanks to the width, all in look (a bar across the screen).
  PictureLine Bar(Span look) {
    line_.text.resize(width_, ' ');
    look.from = 0;
    look.length = width_;
    line_.spans.insert(line_.spans.begin(), look);
    return Take();
  }
  PictureLine Take() { return std::move(line_); }

 private:
  std::size_t width_;
  PictureLine line_;
};

Span Coloured(Colour colour) {
  return {0, 0, NearestTerminalColour(colour)};
}

std::size_t AddressWidth(int width) {
  return static_cast<std::size_t>(std::clamp(width - 60, 15, 39));
}

std::string MarkText(const char* name, const MarkView& mark) {
  if (!mark.known) return std::string(name) + " -";
  return std::string(name) + " " + PlainNumber(mark.count) + " " + Printable(mark.date, 30);
}

constexpr const char* kHelpBar =
    "q quit  Enter follow  a each new  f flag  b all  m feed  s sort  / find  ? help";

constexpr const char* kHelpPage[] = {
    "velgate-monitor: the keys",
    "",
    "  Up Down PgUp PgDn Home End   move the cursor over the streams",
    "  Enter     follow the stream under the cursor: its traffic in the pane below",
    "  a         follow each new caller's stream",
    "  x         follow no stream",
    "  f         flag or unflag the stream under the cursor: its output as traces",
    "  F         unflag every stream",
    "  b         ask the gateway for the whole picture again",
    "  m         turn the gateway's feed of changes and traffic off or on",
    "  s         sort by stream, call sign or address",
    "  /         find a call sign (Enter: the first match; n: the next one)",
    "  c         clear the traffic pane",
    "  q         quit",
    "",
    "Rows: > the followed stream, * a flagged stream; an ended row fades out.",
    "State comes from the row's colours, which the terminal shows where it has them.",
    "",
    "Any key goes back.",
};

}  // namespace

const std::vector<const ViewerRow*>& MonitorScreen::SortedRows() {
  if (sorted_version_ == model_.Version() && sorted_by_ == sort_) return sorted_;
  sorted_ = model_.ShownRows();
  if (sort_ != SortKey::kStream) {
    const bool by_call = sort_ == SortKey::kCall;
    std::stable_sort(sorted_.begin(), sorted_.end(), [by_call](const auto* a, const auto* b) {
      return by_call ? a->call < b->call : a->address < b->address;
    });
  }
  sorted_version_ = model_.Version();
  sorted_by_ = sort_;
  return sorted_;
}

int MonitorScreen::CursorIndex() {
  const auto& rows = SortedRows();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i]->stream == cursor_) return static_cast<int>(i);
  return -1;
}

int MonitorScreen::KeepCursorOnARow() {
  // A cursor whose row went stays where it was on the screen.
  const auto& rows = SortedRows();
  const int at = CursorIndex();
  if (at >= 0 || rows.empty()) return std::max(at, 0);
  const int last = static_cast<int>(rows.size()) - 1;
  cursor_ = rows[static_cast<std::size_t>(std::clamp(top_, 0, last))]->stream;
  return CursorIndex();
}

bool MonitorScreen::Stale() const {
  const LinkStatus& link = session_.Status();
  return keyed_ || painted_version_ != model_.Version() || painted_link_.state != link.state ||
         painted_link_.retry_in_s != link.retry_in_s;
}

std::vector<PictureLine> MonitorScreen::Picture(int width, int height) {
  keyed_ = false;
  painted_version_ = model_.Version();
  painted_link_ = session_.Status();
  if (help_) return Help(width, height);
  std::vector<PictureLine> lines;
  lines.push_back(Header(width, SortedRows().size()));
  lines.push_back(Marks(width));
  lines.push_back(StatusAndListeners(width));
  LineBuilder columns(width);
  columns.Add("  Strm ").Column("Address", AddressWidth(width)).Column("Port", 5);
  columns.Column("Via", 5).Column("Call", 10).Column("State", 11).Add("Since");
  lines.push_back(columns.Bar({0, 0, TerminalColour::kPlain, false, false, true}));

  // What is left: the table, the pane's title and the pane, the status and help bars.
  const int left = std::max(height - 7, 2);
  const int pane = std::max(left / 3, 1);
  table_lines_ = std::max(left - pane, 1);
  const auto& rows = SortedRows();
  const int index = KeepCursorOnARow();
  top_ = std::clamp(top_, std::max(index - table_lines_ + 1, 0), index);
  for (int i = 0; i < table_lines_; ++i) {
    const std::size_t r = static_cast<std::size_t>(top_) + static_cast<std::size_t>(i);
    lines.push_back(r < rows.size() ? RowLine(*rows[r], width) : PictureLine{});
  }
  lines.push_back(PaneTitle(width));
  const auto& traffic = model_.Traffic();
  const std::size_t first =
      traffic.size() - std::min(traffic.size(), static_cast<std::size_t>(pane));
  for (std::size_t i = first; i < first + static_cast<std::size_t>(pane); ++i)
    lines.push_back(i < traffic.size() ? TrafficText(traffic[i], width) : PictureLine{});
  lines.push_back(StatusBar(width));
  lines.push_back(
      LineBuilder(width).Add(kHelpBar).Bar({0, 0, TerminalColour::kPlain, false, false, true}));
  lines.resize(static_cast<std::size_t>(std::max(height, 0)));
  return lines;
}

PictureLine MonitorScreen::Header(int width, std::size_t shown) const {
  const LinkStatus& link = session_.Status();
  LineBuilder line(width);
  line.Add("velgate-monitor", {0, 0, TerminalColour::kPlain, true});
  line.Add("  on " + PlainNumber(static_cast<std::int64_t>(shown)) + "  logged in " +
           PlainNumber(model_.LoggedIn()) + (actions_.FeedOn() ? "   " : "  feed OFF   "));
  // Last, as it may be long: the reason a connection ended is the operating system's.
  const TerminalColour link_colour = link.state == LinkState::kConnected ? TerminalColour::kGreen
                                     : link.state == LinkState::kWaiting ? TerminalColour::kRed
                                                                         : TerminalColour::kYellow;
  line.Add(link.state == LinkState::kWaiting ? session_.Target() + " " : "");
  line.Add(LinkWords(link, session_.Target()), {0, 0, link_colour, true});
  return line.Take();
}

PictureLine MonitorScreen::Marks(int width) const {
  return LineBuilder(width)
      .Add(MarkText("session", model_.Session()) + "   " + MarkText("all-time", model_.AllTime()))
      .Take();
}

PictureLine MonitorScreen::StatusAndListeners(int width) const {
  LineBuilder line(width);
  line.Add("listeners");
  for (const auto& [index, listener] : model_.Listeners()) {
    line.Add(" " + PlainNumber(index) + ":");
    line.Add(Printable(listener.port, 8), Coloured(listener.colour));
    line.Add(" " + Printable(listener.counter, 3));
  }
  line.Add("   ").Add(Printable(model_.StatusLine(), static_cast<std::size_t>(std::max(width, 0))));
  return line.Take();
}

PictureLine MonitorScreen::RowLine(const ViewerRow& row, int width) const {
  const bool ended = row.state == RowState::kEnded;
  const bool under_cursor = row.stream == cursor_;
  std::string via;
  if (row.state == RowState::kCallingOut || row.state == RowState::kCalledOut) {
    via = "out";
  } else {
    for (const auto& [index, listener] : model_.Listeners())
      if (listener.colour == row.address_colour) via = listener.port;
  }
  const auto look = [&](Colour colour) {
    Span span = ended ? Span{} : Coloured(colour);
    span.dim = ended;
    span.reverse = under_cursor;
    return span;
  };
  const Span plain = look(colours::kWhite);
  LineBuilder line(width);
  line.Add(model_.Followed() == row.stream ? ">" : " ", plain);
  std::string stream = PlainNumber(row.stream);
  stream.insert(0, stream.size() < 4 ? 4 - stream.size() : 0, ' ');
  line.Add(stream + (model_.Flagged(row.stream) ? "*" : " ") + " ", plain);
  line.Column(Printable(row.address, 39), AddressWidth(width), look(row.address_colour));
  line.Column(Printable(row.port, 5), 5, look(row.port_colour));
  line.Column(Printable(via, 5), 5, plain);
  line.Column(Printable(row.call, 10), 10, look(row.call_colour));
  Span state = plain;
  state.bold = row.state == RowState::kLockedOut || row.state == RowState::kNuisance;
  line.Column(StateWords(row.state), 11, state);
  line.Add(Printable(row.tip, 24), plain);
  return under_cursor ? line.Bar({0, 0, TerminalColour::kPlain, false, ended, true}) : line.Take();
}

PictureLine MonitorScreen::PaneTitle(int width) const {
  const int s = model_.Followed();
  std::string title = "-- ";
  if (s == 0) {
    title += model_.FollowNew() ? "following each new stream" : "no stream followed (Enter)";
  } else {
    const ViewerRow* row = model_.Row(s);
    title += "stream " + PlainNumber(s) +
             (row && !row->call.empty() ? " " + Printable(row->call, 12) : "") +
             (model_.FollowNew() ? " followed, and each new one" : " followed");
  }
  if (!model_.Flags().empty())
    title += "; traces of " + PlainNumber(static_cast<int>(model_.Flags().size())) + " flagged";
  title += " ";
  LineBuilder line(width);
  line.Add(title, {0, 0, TerminalColour::kPlain, true});
  line.Add(std::string(static_cast<std::size_t>(std::max(width, 0)), '-'));
  return line.Take();
}

PictureLine MonitorScreen::TrafficText(const TrafficLine& traffic, int width) const {
  static constexpr const char* kMarks[] = {" > ", " < ", " t "};
  static constexpr TerminalColour kColours[] = {TerminalColour::kGreen, TerminalColour::kPlain,
                                                TerminalColour::kMagenta};
  const auto kind = static_cast<std::size_t>(traffic.kind);
  LineBuilder line(width);
  line.Add(traffic.time + " ", {0, 0, TerminalColour::kPlain, false, true});
  line.Add(PlainNumber(traffic.stream) + kMarks[kind], {0, 0, kColours[kind], true});
  line.Add(traffic.text, {0, 0, kColours[kind]});
  return line.Take();
}

PictureLine MonitorScreen::StatusBar(int width) const {
  static constexpr const char* kSortNames[] = {"stream", "call", "address"};
  LineBuilder line(width);
  line.Add("bad messages " + PlainNumber(static_cast<std::int64_t>(model_.BadMessages())),
           {0, 0, model_.BadMessages() > 0 ? TerminalColour::kRed : TerminalColour::kPlain});
  if (model_.BadMessages() > 0) line.Add(" (last " + model_.LastBadMessage() + ")");
  line.Add(std::string("   sort ") + kSortNames[static_cast<int>(sort_)]);
  if (searching_) {
    line.Add("   find call: " + search_ + "_", {0, 0, TerminalColour::kPlain, true});
  } else if (!note_.empty()) {
    line.Add("   " + note_, {0, 0, TerminalColour::kPlain, true});
  }
  return line.Take();
}

std::vector<PictureLine> MonitorScreen::Help(int width, int height) const {
  std::vector<PictureLine> lines;
  for (const char* text : kHelpPage) lines.push_back(LineBuilder(width).Add(text).Take());
  lines.resize(static_cast<std::size_t>(std::max(height, 0)));
  return lines;
}

}  // namespace velgate::viewer
