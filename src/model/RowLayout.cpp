#include "model/RowLayout.h"

namespace velgate {

std::vector<PlacedRow> RowLayout::ReFormat(int window_height, bool minimised, int listeners,
                                           int last) {
  std::vector<PlacedRow> moved;
  if (minimised) return moved;
  if (listeners > 0) {
    const int bottom = window_height - 650 - kFieldHeight - 100;
    const int first = resize_pending_ ? listeners + 1 : rows_laid_out_;
    int top = 60;
    int column = 0;
    for (int i = listeners + 1; i <= last; ++i) {
      top += kRowStep;
      if (top > bottom) {
        top = 360;
        ++column;
      }
      if (i >= first) moved.push_back({i, top, column});
    }
  }
  resize_pending_ = false;
  rows_laid_out_ = last;
  return moved;
}

}  // namespace velgate
