// Time as the program sees it: monotonic millisecond ticks for measuring
// intervals (never set back, unlike the wall clock), and file times shown as
// local date-times. Code that measures time takes a `Clock&`, so tests can
// drive time by hand instead of waiting for it.
#pragma once

#include <cstdint>
#include <ctime>

namespace platform {

// Milliseconds since an arbitrary fixed point (system start); 64 bits, so it
// does not wrap after 49 days as a 32-bit tick count would.
std::uint64_t TickCountMs();

// `t` (seconds since the epoch, UTC) as a local date-time, daylight saving
// applied. A time the system cannot convert gives an all-zero record.
std::tm FileTimeToLocal(std::time_t t);

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint64_t NowMs() const = 0;
};

// The monotonic system clock.
class SystemClock final : public Clock {
 public:
  std::uint64_t NowMs() const override { return TickCountMs(); }
};

// A clock that moves only when told to.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::uint64_t startMs = 0) : nowMs_(startMs) {}
  std::uint64_t NowMs() const override { return nowMs_; }
  void Set(std::uint64_t ms) { nowMs_ = ms; }
  void Advance(std::uint64_t ms) { nowMs_ += ms; }

 private:
  std::uint64_t nowMs_;
};

}  // namespace platform
