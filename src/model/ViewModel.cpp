#include "model/ViewModel.h"

namespace velgate {

std::string TipOf(const StatusRow& row, int field) {
  if (field == 0) {
    // An IPv6 address may be wider than its column: the tip shows it whole.
    if (row.address.text.find(':') == std::string::npos) return row.address_tip;
    return row.address_tip.empty() ? row.address.text : row.address.text + "\n" + row.address_tip;
  }
  if (field == 1) return row.port_tip;
  return {};
}

StatusRow& ViewModel::MutableRow(int s) {
  std::size_t index = static_cast<std::size_t>(s);
  if (!row_dirty_[index]) {
    row_dirty_[index] = 1;
    dirty_rows_.push_back(s);
  }
  return rows_[index];
}

void ViewModel::GrowRows(int last) {
  std::size_t size = static_cast<std::size_t>(last) + 1;
  if (size <= rows_.size()) return;
  rows_.resize(size);
  row_dirty_.resize(size, 0);
}

std::vector<int> ViewModel::TakeDirtyRows() {
  std::vector<int> taken;
  taken.swap(dirty_rows_);
  for (int s : taken) row_dirty_[static_cast<std::size_t>(s)] = 0;
  return taken;
}

void ViewModel::Alert(const std::string& title, const std::string& text) {
  if (listener_) listener_->Alert(title, text);
}

void ViewModel::Report(const std::string& line) {
  if (listener_) listener_->Report(line);
}

void ViewModel::BringToFront() {
  if (listener_) listener_->BringToFront();
}

}  // namespace velgate
