#include "platform/AsioTimerDriver.h"

#include <chrono>

namespace velgate {

AsioTimerDriver::AsioTimerDriver(asio::io_context& io, TimerQueue& queue)
    : queue_(queue), timer_(io) {
  queue_.SetEarlierDueListener([this](std::int64_t due_ms) {
    if (armed_due_ms_ < 0 || due_ms < armed_due_ms_) ArmAt(due_ms);
  });
  Arm();
}

AsioTimerDriver::~AsioTimerDriver() {
  queue_.SetEarlierDueListener(nullptr);
}

void AsioTimerDriver::Arm() {
  auto due = queue_.NextDueMs();
  if (due) {
    ArmAt(*due);
  } else {
    armed_due_ms_ = -1;
    timer_.cancel();
  }
}

void AsioTimerDriver::ArmAt(std::int64_t due_ms) {
  armed_due_ms_ = due_ms;
  timer_.expires_at(std::chrono::steady_clock::time_point(std::chrono::milliseconds(due_ms)));
  timer_.async_wait([this, due_ms](const std::error_code& error) {
    if (error || due_ms != armed_due_ms_) return;
    armed_due_ms_ = -1;
    queue_.FireDue();
    Arm();
  });
}

}  // namespace velgate
