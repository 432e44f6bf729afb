#pragma once
// The full screen, as text: what the terminal paints, and what each key does. Pure: it reads the
// model and the link, keeps its own place (cursor, scroll, sort, search, help), and asks for
// commands through ViewerActions; a terminal only paints the picture and passes on keys.
//
//   velgate-monitor  on 3  logged in 2   connected 127.0.0.1:15555
//   session 3 07-Dec-2026 1200Z   all-time 40 04-Dec-2026  05:30
//   listeners 1:7300 0 2:7373 R   Cluster online
//    Strm Address              Port  Via   Call       State       Since
//   >  12 127.0.0.1            51234 7300  G0ABC      logged in   07-Dec-2026 1158Z
//   -- stream 12 G0ABC followed -----------------------------------------------------
//   12:03:05 12 > sh/dx
//   12:03:05 12 < DX de K1TTT: ...
//   bad messages 0   sort stream
//   q quit  Enter follow  a each new  f flag  b all  m feed  s sort  / find  ? help

#include <cstdint>
#include <string>
#include <vector>

#include "viewer/MonitorModel.h"
#include "viewer/MonitorSession.h"
#include "viewer/ViewerActions.h"

namespace velgate::viewer {

/// A run of a picture line with its own look.
struct Span {
  std::size_t from = 0;
  std::size_t length = 0;
  TerminalColour colour = TerminalColour::kPlain;
  bool bold = false;
  bool dim = false;
  bool reverse = false;
};
/// One line of the screen: its text (ASCII, at most the screen's width) and its spans.
struct PictureLine {
  std::string text;
  std::vector<Span> spans;
};

/// The keys beyond plain characters, as the terminal passes them on.
namespace keys {
inline constexpr int kUp = 0x101, kDown = 0x102, kPageUp = 0x103, kPageDown = 0x104, kHome = 0x105,
                     kEnd = 0x106, kEnter = '\n', kEscape = 27, kBackspace = 0x107;
}  // namespace keys

enum class SortKey { kStream, kCall, kAddress };

class MonitorScreen {
 public:
  MonitorScreen(const MonitorModel& model, const MonitorSession& session, ViewerActions& actions)
      : model_(model), session_(session), actions_(actions) {}

  /// The whole screen for width x height.
  std::vector<PictureLine> Picture(int width, int height);
  /// Carries out one key; false when it asks to quit.
  bool Key(int key);
  /// Whether the picture would differ from the one painted last.
  bool Stale() const;

  /// The stream under the cursor (0: none).
  int Cursor() const { return cursor_; }
  SortKey Sort() const { return sort_; }

 private:
  const std::vector<const ViewerRow*>& SortedRows();
  int CursorIndex();
  int KeepCursorOnARow();
  void MoveCursor(int by);
  void FindNext(bool after_cursor);
  bool SearchKey(int key);
  PictureLine Header(int width, std::size_t shown) const;
  PictureLine Marks(int width) const;
  PictureLine StatusAndListeners(int width) const;
  PictureLine RowLine(const ViewerRow& row, int width) const;
  PictureLine PaneTitle(int width) const;
  PictureLine TrafficText(const TrafficLine& line, int width) const;
  PictureLine StatusBar(int width) const;
  std::vector<PictureLine> Help(int width, int height) const;

  const MonitorModel& model_;
  const MonitorSession& session_;
  ViewerActions& actions_;
  int cursor_ = 0;
  int top_ = 0;  // index of the first row on show
  int table_lines_ = 1;
  SortKey sort_ = SortKey::kStream;
  bool help_ = false;
  bool searching_ = false;
  std::string search_;
  std::string note_;  // a word for the operator after a key, until the next key
  static constexpr int kMostMove = 1 << 20;

  std::vector<const ViewerRow*> sorted_;
  std::uint64_t sorted_version_ = ~std::uint64_t{0};
  SortKey sorted_by_ = SortKey::kStream;
  std::uint64_t painted_version_ = ~std::uint64_t{0};
  LinkStatus painted_link_;
  bool keyed_ = true;  // a key has changed the screen since it was painted
};

}  // namespace velgate::viewer
