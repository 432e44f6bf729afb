#include "platform/TimerQueue.h"

#include <cassert>
#include <utility>

namespace velgate {

std::uint32_t TimerQueue::Acquire(std::int64_t interval_ms, Callback callback) {
  std::uint32_t slot;
  if (!free_slots_.empty()) {
    slot = free_slots_.back();
    free_slots_.pop_back();
  } else {
    slot = static_cast<std::uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  Slot& s = slots_[slot];
  s.interval_ms = interval_ms;
  s.enabled = false;
  s.in_use = true;
  s.firing = false;
  s.release_after_firing = false;
  ++s.generation;
  s.callback = std::move(callback);
  return slot;
}

void TimerQueue::Release(std::uint32_t slot) {
  Disable(slot);
  Slot& s = slots_[slot];
  if (s.firing) {
    // Destroyed from inside its own callback: free the slot once the callback has returned.
    s.release_after_firing = true;
    return;
  }
  s.in_use = false;
  s.callback = nullptr;
  ++s.generation;
  free_slots_.push_back(slot);
}

void TimerQueue::Enable(std::uint32_t slot) {
  Slot& s = slots_[slot];
  if (s.enabled) return;
  s.enabled = true;
  ++enabled_count_;
  ++s.generation;
  if (s.interval_ms > 0) Schedule(slot, clock_.SteadyMs() + s.interval_ms);
}

void TimerQueue::Disable(std::uint32_t slot) {
  Slot& s = slots_[slot];
  if (!s.enabled) return;
  s.enabled = false;
  --enabled_count_;
  ++s.generation;
}

void TimerQueue::SetInterval(std::uint32_t slot, std::int64_t interval_ms) {
  Slot& s = slots_[slot];
  s.interval_ms = interval_ms;
  if (s.enabled) {
    Disable(slot);
    Enable(slot);
  }
}

void TimerQueue::Schedule(std::uint32_t slot, std::int64_t due_ms) {
  bool earlier = entries_.empty() || due_ms < entries_.top().due_ms;
  entries_.push(Entry{due_ms, next_order_++, slot, slots_[slot].generation});
  DropStaleEntries();
  if (earlier && earlier_due_listener_) earlier_due_listener_(due_ms);
}

bool TimerQueue::IsLive(const Entry& entry) const {
  const Slot& s = slots_[entry.slot];
  return s.in_use && s.enabled && s.generation == entry.generation;
}

void TimerQueue::DropStaleEntries() {
  // Restarting a timer leaves its old entry behind; rebuild when they outnumber the live ones.
  if (entries_.size() < 1024 || entries_.size() < 4 * (enabled_count_ + 1)) return;
  std::vector<Entry> live;
  live.reserve(enabled_count_);
  while (!entries_.empty()) {
    if (IsLive(entries_.top())) live.push_back(entries_.top());
    entries_.pop();
  }
  entries_ = decltype(entries_)(std::greater<Entry>(), std::move(live));
}

std::optional<std::int64_t> TimerQueue::NextDueMs() {
  while (!entries_.empty() && !IsLive(entries_.top())) entries_.pop();
  if (entries_.empty()) return std::nullopt;
  return entries_.top().due_ms;
}

void TimerQueue::FireDue() {
  const std::int64_t now = clock_.SteadyMs();
  for (;;) {
    auto due = NextDueMs();
    if (!due || *due > now) return;
    Entry entry = entries_.top();
    entries_.pop();
    Slot& s = slots_[entry.slot];
    // The next period follows on from this one; a loop that fell behind does not catch up.
    std::int64_t next = entry.due_ms + s.interval_ms;
    if (next <= now) next = now + s.interval_ms;
    Schedule(entry.slot, next);

    slots_[entry.slot].firing = true;
    Callback& callback = slots_[entry.slot].callback;
    if (callback) callback();
    Slot& after = slots_[entry.slot];
    after.firing = false;
    if (after.release_after_firing) {
      after.release_after_firing = false;
      after.in_use = false;
      after.callback = nullptr;
      ++after.generation;
      free_slots_.push_back(entry.slot);
    }
  }
}

Timer::Timer(TimerQueue& queue, std::int64_t interval_ms, bool enabled,
             TimerQueue::Callback callback)
    : queue_(&queue), slot_(queue.Acquire(interval_ms, std::move(callback))) {
  if (enabled) queue_->Enable(slot_);
}

Timer::Timer(Timer&& other) noexcept
    : queue_(std::exchange(other.queue_, nullptr)), slot_(other.slot_) {}

Timer& Timer::operator=(Timer&& other) noexcept {
  if (this != &other) {
    if (queue_) queue_->Release(slot_);
    queue_ = std::exchange(other.queue_, nullptr);
    slot_ = other.slot_;
  }
  return *this;
}

Timer::~Timer() {
  if (queue_) queue_->Release(slot_);
}

void Timer::SetEnabled(bool enabled) {
  assert(queue_);
  if (enabled) {
    queue_->Enable(slot_);
  } else {
    queue_->Disable(slot_);
  }
}

bool Timer::Enabled() const {
  return queue_ && queue_->slots_[slot_].enabled;
}

void Timer::Restart() {
  SetEnabled(false);
  SetEnabled(true);
}

void Timer::SetInterval(std::int64_t interval_ms) {
  queue_->SetInterval(slot_, interval_ms);
}

std::int64_t Timer::Interval() const {
  return queue_->slots_[slot_].interval_ms;
}

}  // namespace velgate
