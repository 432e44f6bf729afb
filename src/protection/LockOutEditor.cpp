#include "protection/LockOutEditor.h"

namespace velgate {

void ShellSort4(std::vector<std::string>& list) {
  const std::size_t last = list.empty() ? 0 : list.size() - 1;
  std::size_t gap = 0;
  while (gap <= last) gap = 3 * gap + 1;
  while (gap > 1) {
    gap /= 3;
    for (std::size_t i = gap; i <= last; ++i) {
      std::string moving = std::move(list[i]);
      std::size_t j = i;
      // std::string compares by unsigned character codes, as the rows are to be sorted.
      while (j >= gap && list[j - gap] > moving) {
        list[j] = std::move(list[j - gap]);
        j -= gap;
      }
      list[j] = std::move(moving);
    }
  }
}

LockOutEditor::LockOutEditor(const Settings& settings) : rows_(1) {
  for (int i = 1; i <= settings.LockOutCount; ++i) {
    rows_.push_back(settings.LockOuts.at(static_cast<std::size_t>(i)));
  }
}

void LockOutEditor::Delete(int i) {
  if (i >= 1 && i <= RowCount()) rows_[static_cast<std::size_t>(i)].clear();
}

bool LockOutEditor::Add(std::string_view text) {
  if (text.empty()) return false;
  rows_.emplace_back(text);
  ShellSort4(rows_);
  return true;
}

std::vector<std::string> LockOutEditor::SavedList() const {
  std::vector<std::string> saved;
  for (std::size_t i = 1; i < rows_.size(); ++i) {
    if (!rows_[i].empty()) saved.push_back(rows_[i]);
  }
  return saved;
}

void StoreLockOuts(const std::vector<std::string>& list, Settings& settings) {
  settings.ClearLockOuts();
  for (const std::string& entry : list) settings.AddLockOut(entry);
}

}  // namespace velgate
