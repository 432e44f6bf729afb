#include "model/ViewExchange.h"

namespace velgate {

void ViewExchange::Publish(ViewModel& view) {
  const std::vector<int> dirty = view.TakeDirtyRows();
  const bool labels_changed = !published_once_ || view.Labels() != published_labels_;
  const bool indicators_changed = !published_once_ || view.Indicators() != published_indicators_;
  published_once_ = true;
  if (labels_changed) published_labels_ = view.Labels();
  if (indicators_changed) published_indicators_ = view.Indicators();

  std::lock_guard<std::mutex> lock(mutex_);
  pending_.row_count = view.RowCount();
  pending_place_.resize(static_cast<std::size_t>(view.RowCount()), -1);
  for (int s : dirty) {
    int& place = pending_place_[static_cast<std::size_t>(s)];
    if (place < 0) {
      place = static_cast<int>(pending_.rows.size());
      pending_.rows.emplace_back(s, view.Row(s));
    } else {
      pending_.rows[static_cast<std::size_t>(place)].second = view.Row(s);
    }
  }
  if (labels_changed) pending_.labels = published_labels_;
  if (indicators_changed) pending_.indicators = published_indicators_;
}

ViewChanges ViewExchange::Take() {
  ViewChanges taken;
  std::lock_guard<std::mutex> lock(mutex_);
  taken.row_count = pending_.row_count;
  std::swap(taken, pending_);
  for (const auto& [s, row] : taken.rows) pending_place_[static_cast<std::size_t>(s)] = -1;
  return taken;
}

}  // namespace velgate
