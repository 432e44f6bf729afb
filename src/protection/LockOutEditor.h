#pragma once
// The lock-out editor's rules, apart from any window: the rows the operator edits, the list
// Save stores, and the sort that Add uses. Edits change only the rows; the list in force
// changes when the saved list is stored.
//
//   load: one row per entry, in list order   X: the row goes blank and stays
//   Add: a new row, then every row sorted (blank rows first)   Save: the non-blank rows in order

#include <string>
#include <string_view>
#include <vector>

#include "base/Settings.h"

namespace velgate {

/// Sorts in place, ascending by character codes (a string sorts before its longer
/// continuations), with Shell's gaps 1, 4, 13, 40, ... from the largest below the size down.
void ShellSort4(std::vector<std::string>& list);

class LockOutEditor {
 public:
  /// The rows of the list in force, in list order.
  explicit LockOutEditor(const Settings& settings);

  /// The number of rows, blank ones included.
  int RowCount() const { return static_cast<int>(rows_.size()) - 1; }
  /// The text of row i (1 .. RowCount).
  const std::string& Row(int i) const { return rows_.at(static_cast<std::size_t>(i)); }
  /// Blanks row i (the "X" of its row); rows outside the list are ignored.
  void Delete(int i);
  /// Adds text as a new row and sorts every row; empty text changes nothing (false).
  bool Add(std::string_view text);
  /// What Save stores: the non-blank rows, in row order.
  std::vector<std::string> SavedList() const;

 private:
  std::vector<std::string> rows_;  // entry 0 is always empty
};

/// Makes list the lock-out list in force.
void StoreLockOuts(const std::vector<std::string>& list, Settings& settings);

}  // namespace velgate
