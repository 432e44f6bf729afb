#pragma once
// The terminal under ncurses: paints a picture (curses sends only what changed) and hands over
// the keys pressed. Colours where the terminal has them; bold, dim and reverse where it has not.

#include <vector>

#include "viewer/MonitorScreen.h"

namespace velgate::viewer {

class CursesTerminal {
 public:
  /// Takes over the terminal; gives it back when destroyed.
  CursesTerminal();
  ~CursesTerminal();
  CursesTerminal(const CursesTerminal&) = delete;
  CursesTerminal& operator=(const CursesTerminal&) = delete;

  int Width() const;
  int Height() const;
  /// Paints the picture over the whole screen.
  void Paint(const std::vector<PictureLine>& picture);
  /// The next key waiting, as MonitorScreen takes it; -1 when none waits. A resize is told as
  /// kResized.
  int NextKey();
  static constexpr int kResized = 0x1FF;

 private:
  bool colour_ = false;
};

}  // namespace velgate::viewer
