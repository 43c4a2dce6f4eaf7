#pragma once
// One clock for every pause and readiness poll of the engine. Production code
// sleeps for real; tests install a VirtualClock so that the drive's pauses
// cost no real time and can be measured exactly.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace platform {

using Milliseconds = std::chrono::milliseconds;

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic time since an arbitrary origin.
  virtual Milliseconds Now() const = 0;
  virtual void SleepFor(Milliseconds duration) = 0;
};

// The clock the engine uses right now (the real one unless a test replaced it).
Clock& CurrentClock();

// Win32-style pause through the current clock.
void Sleep(std::uint32_t milliseconds);

// Time that advances only when someone sleeps on it.
class VirtualClock final : public Clock {
 public:
  Milliseconds Now() const override { return Milliseconds(now_.load()); }
  void SleepFor(Milliseconds duration) override;
  // Total time slept through this clock and the number of sleeps.
  Milliseconds Slept() const { return Milliseconds(slept_.load()); }
  std::uint64_t SleepCount() const { return sleeps_.load(); }

 private:
  std::atomic<std::int64_t> now_{0};
  std::atomic<std::int64_t> slept_{0};
  std::atomic<std::uint64_t> sleeps_{0};
};

// Installs a clock for the lifetime of the object (tests only).
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace platform
