#include "platform/kernel/clock.h"

#include <thread>

namespace platform {
namespace {

class RealClock final : public Clock {
 public:
  Milliseconds Now() const override {
    return std::chrono::duration_cast<Milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
  }
  void SleepFor(Milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

RealClock g_realClock;
std::atomic<Clock*> g_clock{&g_realClock};

}  // namespace

Clock& CurrentClock() { return *g_clock.load(); }

void Sleep(std::uint32_t milliseconds) { CurrentClock().SleepFor(Milliseconds(milliseconds)); }

void VirtualClock::SleepFor(Milliseconds duration) {
  now_ += duration.count();
  slept_ += duration.count();
  ++sleeps_;
}

ScopedClock::ScopedClock(Clock& clock) : previous_(g_clock.exchange(&clock)) {}
ScopedClock::~ScopedClock() { g_clock.store(previous_); }

}  // namespace platform
