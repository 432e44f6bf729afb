#include "viewer/CursesTerminal.h"

#include <curses.h>

namespace velgate::viewer {
namespace {

short PairOf(TerminalColour colour) {
  return static_cast<short>(colour);  // pair n is colour n; pair 0 the terminal's own
}

attr_t Attributes(const Span& span) {
  attr_t attributes = A_NORMAL;
  if (span.bold) attributes |= A_BOLD;
  if (span.dim) attributes |= A_DIM;
  if (span.reverse) attributes |= A_REVERSE;
  return attributes;
}

}  // namespace

CursesTerminal::CursesTerminal() {
  initscr();
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  curs_set(0);
  set_escdelay(25);
  if (has_colors()) {
    start_color();
    use_default_colors();
    const short kColours[] = {-1,         COLOR_RED,     COLOR_GREEN, COLOR_YELLOW,
                              COLOR_BLUE, COLOR_MAGENTA, COLOR_CYAN};
    for (short i = 1; i < 7; ++i) init_pair(i, kColours[i], -1);
    colour_ = true;
  }
}

CursesTerminal::~CursesTerminal() {
  endwin();
}

int CursesTerminal::Width() const {
  return COLS;
}

int CursesTerminal::Height() const {
  return LINES;
}

void CursesTerminal::Paint(const std::vector<PictureLine>& picture) {
  for (int y = 0; y < LINES; ++y) {
    move(y, 0);
    clrtoeol();
    if (static_cast<std::size_t>(y) >= picture.size()) continue;
    const PictureLine& line = picture[static_cast<std::size_t>(y)];
    mvaddnstr(y, 0, line.text.c_str(), static_cast<int>(line.text.size()));
    for (const Span& span : line.spans)
      mvchgat(y, static_cast<int>(span.from), static_cast<int>(span.length), Attributes(span),
              colour_ ? PairOf(span.colour) : 0, nullptr);
  }
  refresh();
}

int CursesTerminal::NextKey() {
  const int key = getch();
  switch (key) {
    case ERR:
      return -1;
    case KEY_RESIZE:
      return kResized;
    case KEY_UP:
      return keys::kUp;
    case KEY_DOWN:
      return keys::kDown;
    case KEY_PPAGE:
      return keys::kPageUp;
    case KEY_NPAGE:
      return keys::kPageDown;
    case KEY_HOME:
      return keys::kHome;
    case KEY_END:
      return keys::kEnd;
    case KEY_ENTER:
    case '\r':
      return keys::kEnter;
    case KEY_BACKSPACE:
      return keys::kBackspace;
    default:
      return key;
  }
}

}  // namespace velgate::viewer
