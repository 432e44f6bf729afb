#pragma once
// Periodic timers with an interval in ms and an enabled switch, all kept in one queue.
// Enabling a timer that is already enabled does not restart it; disabling and enabling it does.
// A driver fires the queue: one Asio timer in production, virtual time in tests.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <queue>
#include <vector>

#include "platform/Clock.h"

namespace velgate {

class TimerQueue {
 public:
  using Callback = std::function<void()>;

  explicit TimerQueue(const Clock& clock) : clock_(clock) {}
  TimerQueue(const TimerQueue&) = delete;
  TimerQueue& operator=(const TimerQueue&) = delete;

  /// When the earliest enabled timer is due (steady ms), or nothing when none is enabled.
  std::optional<std::int64_t> NextDueMs();
  /// Fires every timer that is due by the clock's present time, earliest first.
  void FireDue();
  /// Called whenever a timer becomes due earlier than anything queued before it.
  void SetEarlierDueListener(std::function<void(std::int64_t)> listener) {
    earlier_due_listener_ = std::move(listener);
  }
  /// Number of timers that are enabled now.
  std::size_t EnabledCount() const { return enabled_count_; }

 private:
  friend class Timer;
  struct Slot {
    std::int64_t interval_ms = 0;
    bool enabled = false;
    bool in_use = false;
    bool firing = false;
    bool release_after_firing = false;
    std::uint64_t generation = 0;
    Callback callback;
  };
  struct Entry {
    std::int64_t due_ms;
    std::uint64_t order;
    std::uint32_t slot;
    std::uint64_t generation;
    bool operator>(const Entry& other) const {
      return due_ms != other.due_ms ? due_ms > other.due_ms : order > other.order;
    }
  };

  std::uint32_t Acquire(std::int64_t interval_ms, Callback callback);
  void Release(std::uint32_t slot);
  void Enable(std::uint32_t slot);
  void Disable(std::uint32_t slot);
  void SetInterval(std::uint32_t slot, std::int64_t interval_ms);
  void Schedule(std::uint32_t slot, std::int64_t due_ms);
  void DropStaleEntries();
  bool IsLive(const Entry& entry) const;

  const Clock& clock_;
  std::deque<Slot> slots_;  // a deque keeps a firing callback in place while timers are added
  std::vector<std::uint32_t> free_slots_;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> entries_;
  std::uint64_t next_order_ = 0;
  std::size_t enabled_count_ = 0;
  std::function<void(std::int64_t)> earlier_due_listener_;
};

/// One timer of a TimerQueue; move-only, released when destroyed.
class Timer {
 public:
  Timer() = default;
  Timer(TimerQueue& queue, std::int64_t interval_ms, bool enabled, TimerQueue::Callback callback);
  Timer(Timer&& other) noexcept;
  Timer& operator=(Timer&& other) noexcept;
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  ~Timer();

  /// Switches the timer on or off; switching on an enabled timer leaves its period running.
  void SetEnabled(bool enabled);
  /// Whether the timer is on.
  bool Enabled() const;
  /// Disables and enables it: the next tick comes a full interval from now.
  void Restart();
  /// Changes the interval; an enabled timer starts a new period at once.
  void SetInterval(std::int64_t interval_ms);
  /// The interval in ms.
  std::int64_t Interval() const;
  /// Whether this handle holds a timer.
  bool Valid() const { return queue_ != nullptr; }

 private:
  TimerQueue* queue_ = nullptr;
  std::uint32_t slot_ = 0;
};

}  // namespace velgate
