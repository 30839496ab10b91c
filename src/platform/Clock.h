#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

namespace vexa::platform {

// 32-bit milliseconds of a monotonic clock, wrapping like the tick count of the original system.
uint32_t tickCount();

// Seconds since 1970, UTC.
int64_t utcSeconds();

// Time as the code that measures delays sees it; tests give a simulated one.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t tickCount() const = 0;
};

class SystemClock final : public Clock {
 public:
  uint32_t tickCount() const override { return platform::tickCount(); }
  static SystemClock& instance();
};

// A clock that moves only when told to.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(uint32_t start = 0) : now_(start) {}
  uint32_t tickCount() const override { return now_.load(); }
  void advance(uint32_t ms) { now_ += ms; }
  void set(uint32_t ms) { now_ = ms; }

 private:
  std::atomic<uint32_t> now_;
};

}  // namespace vexa::platform
