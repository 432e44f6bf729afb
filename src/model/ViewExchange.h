#pragma once
// How a window on another thread reads the view model: the gateway's thread publishes what
// changed, a few dozen times a second, and the window takes it when it repaints. The lock is
// held only while changes are copied in or handed out, so neither side ever waits for the
// other's work; what waits is bounded by the rows that exist (a row changed twice is sent once).

#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "model/ViewModel.h"

namespace velgate {

/// What changed since the window last took changes.
struct ViewChanges {
  /// Rows that changed, each once with its newest content, in the order they first changed.
  std::vector<std::pair<int, StatusRow>> rows;
  /// The number of rows there are.
  int row_count = 0;
  /// The labels, when they changed.
  std::optional<MainLabels> labels;
  /// The listener indicator boxes, when they changed.
  std::optional<std::vector<ListenerIndicator>> indicators;
};

class ViewExchange {
 public:
  /// On the gateway's thread: copies in what changed in view since the last call.
  void Publish(ViewModel& view);
  /// On the window's thread: takes everything published since the last call.
  ViewChanges Take();

 private:
  // The gateway thread's own record of what it last published.
  MainLabels published_labels_;
  std::vector<ListenerIndicator> published_indicators_;
  bool published_once_ = false;

  std::mutex mutex_;
  ViewChanges pending_;             // guarded by mutex_
  std::vector<int> pending_place_;  // guarded: row index -> its place in pending_.rows, or -1
};

}  // namespace velgate
