#pragma once
// Time for the gateway: steady milliseconds for timers, and the wall clock in local time and UTC
// for the texts that show a date. Production reads the system; tests inject a ManualClock.

#include <cstdint>

namespace velgate {

/// A calendar date and time of day, broken down.
struct DateTime {
  int year = 2000;
  int month = 1;  ///< 1..12
  int day = 1;    ///< 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

/// One reading of the wall clock, in both zones at once.
struct WallTime {
  DateTime local;
  DateTime utc;
};

class Clock {
 public:
  virtual ~Clock() = default;
  /// Monotonic milliseconds, for timers and intervals.
  virtual std::int64_t SteadyMs() const = 0;
  /// The current date and time, local and UTC, from one reading.
  virtual WallTime Now() const = 0;
};

/// The system's clocks; local time is the process's time zone.
class SystemClock final : public Clock {
 public:
  std::int64_t SteadyMs() const override;
  WallTime Now() const override;
};

/// A clock that moves only when told: steady time and wall time advance together.
class ManualClock final : public Clock {
 public:
  /// Starts at the given UTC wall time, in a zone utc_offset_minutes east of UTC.
  explicit ManualClock(DateTime utc_start = {2026, 12, 4, 12, 0, 0}, int utc_offset_minutes = 0);

  std::int64_t SteadyMs() const override { return steady_ms_; }
  WallTime Now() const override;

  /// Moves both clocks forward.
  void AdvanceMs(std::int64_t ms) { steady_ms_ += ms; }
  /// Sets the wall clock (UTC) without touching steady time.
  void SetUtc(DateTime utc);
  /// Sets the local zone's offset from UTC, in minutes east of UTC.
  void SetUtcOffsetMinutes(int minutes) { utc_offset_minutes_ = minutes; }

 private:
  std::int64_t steady_ms_ = 0;
  std::int64_t utc_base_seconds_ = 0;  // wall time when steady_ms_ was 0
  int utc_offset_minutes_ = 0;
};

/// Seconds since 1970-01-01 00:00 for a UTC date and time (proleptic Gregorian).
std::int64_t SecondsSinceEpoch(const DateTime& utc);
/// The UTC date and time for seconds since 1970-01-01 00:00.
DateTime DateTimeFromSeconds(std::int64_t seconds);

}  // namespace velgate
