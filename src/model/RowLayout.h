#pragma once
// Where the main window puts the stream rows, in twips (1/1440 inch): rows 300 apart from
// Top 360 down to the window's bottom limit, then a new column 3860 further right, again from
// Top 360. Without a resize only the rows from the last one placed on are moved, so rows keep
// their places while new ones are added.
//
//   column 0                     column 1
//   120 address  1680 port  2400 call     3980 address ...
//   360  row FirstStreamIndex              360  ...
//   660  ...

#include <vector>

namespace velgate {

/// One row to move: the stream index, its Top and the column it stands in.
struct PlacedRow {
  int index = 0;
  int top = 0;
  int column = 0;
};

class RowLayout {
 public:
  static constexpr int kFieldHeight = 285;
  static constexpr int kRowStep = 300;
  static constexpr int kColumnStep = 3860;
  /// The Left of the address, port and call-sign fields in column 0.
  static constexpr int kAddressLeft = 120;
  static constexpr int kPortLeft = 1680;
  static constexpr int kCallLeft = 2400;

  /// The Left of a field whose column-0 Left is left0, in column.
  static int FieldLeft(int left0, int column) { return left0 + column * kColumnStep; }

  /// The window was resized: the next ReFormat places every row again.
  void Resized() { resize_pending_ = true; }
  /// Places the rows listeners+1 .. last for a window height in twips; a minimised window
  /// leaves every row where it is. Returns the rows to move, in index order.
  std::vector<PlacedRow> ReFormat(int window_height, bool minimised, int listeners, int last);

 private:
  bool resize_pending_ = false;
  int rows_laid_out_ = 0;  // the highest row placed by the last ReFormat
};

}  // namespace velgate
