// What each key of the full screen does.

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "viewer/MonitorScreen.h"

namespace velgate::viewer {
namespace {

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

}  // namespace

bool MonitorScreen::Key(int key) {
  keyed_ = true;
  if (help_) {
    help_ = false;
    return true;
  }
  if (searching_) return SearchKey(key);
  note_.clear();
  KeepCursorOnARow();
  const int page = std::max(table_lines_ - 1, 1);
  switch (key) {
    case 'q':
    case 'Q':
      return false;
    case keys::kUp:
    case 'k':
      MoveCursor(-1);
      break;
    case keys::kDown:
    case 'j':
      MoveCursor(1);
      break;
    case keys::kPageUp:
      MoveCursor(-page);
      break;
    case keys::kPageDown:
    case ' ':
      MoveCursor(page);
      break;
    case keys::kHome:
      MoveCursor(-kMostMove);
      break;
    case keys::kEnd:
      MoveCursor(kMostMove);
      break;
    case keys::kEnter:
    case '\r':
      if (cursor_ == 0) break;
      actions_.Follow(cursor_);
      note_ = "following stream " + std::to_string(cursor_);
      break;
    case 'a':
      actions_.FollowEachNew();
      note_ = "following each new stream";
      break;
    case 'x':
      actions_.Follow(0);
      note_ = "following no stream";
      break;
    case 'f':
      if (cursor_ == 0) break;
      actions_.SetFlag(cursor_, !model_.Flagged(cursor_));
      note_ = (model_.Flagged(cursor_) ? "traces of stream " : "no traces of stream ") +
              std::to_string(cursor_);
      break;
    case 'F':
      actions_.ClearFlags();
      note_ = "no stream flagged";
      break;
    case 'b':
      actions_.AskEverything();
      note_ = "asked for the whole picture";
      break;
    case 'm':
      actions_.SetFeed(!actions_.FeedOn());
      note_ = actions_.FeedOn() ? "feed on" : "feed off: rows change only on b";
      break;
    case 's':
      sort_ = static_cast<SortKey>((static_cast<int>(sort_) + 1) % 3);
      break;
    case '/':
      searching_ = true;
      search_.clear();
      break;
    case 'n':
      FindNext(true);
      break;
    case 'c':
      actions_.ClearTraffic();
      break;
    case '?':
    case 'h':
      help_ = true;
      break;
    default:
      break;
  }
  return true;
}

bool MonitorScreen::SearchKey(int key) {
  if (key == keys::kEnter || key == '\r') {
    searching_ = false;
    FindNext(false);
  } else if (key == keys::kEscape) {
    searching_ = false;
  } else if (key == keys::kBackspace || key == 127 || key == 8) {
    if (!search_.empty()) search_.pop_back();
  } else if (key >= 0x20 && key < 0x7F && search_.size() < 16) {
    search_ += static_cast<char>(key);
  }
  return true;
}

void MonitorScreen::MoveCursor(int by) {
  const auto& rows = SortedRows();
  if (rows.empty()) return;
  const int last = static_cast<int>(rows.size()) - 1;
  // by may be a whole table's length either way: the sum is taken in 64 bits.
  const auto at = static_cast<std::size_t>(
      std::clamp<std::int64_t>(std::int64_t{std::max(CursorIndex(), 0)} + by, 0, last));
  cursor_ = rows[at]->stream;
}

void MonitorScreen::FindNext(bool after_cursor) {
  const auto& rows = SortedRows();
  const std::string wanted = Upper(search_);
  if (wanted.empty() || rows.empty()) return;
  const std::size_t count = rows.size();
  const std::size_t from =
      static_cast<std::size_t>(std::max(CursorIndex(), 0)) + (after_cursor ? 1 : 0);
  for (std::size_t i = 0; i < count; ++i) {
    const ViewerRow& row = *rows[(from + i) % count];
    if (Upper(row.call).find(wanted) != std::string::npos) {
      cursor_ = row.stream;
      return;
    }
  }
  note_ = "no call sign holds " + search_;
}

}  // namespace velgate::viewer
