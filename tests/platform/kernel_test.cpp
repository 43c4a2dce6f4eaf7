// Events, worker threads and the replaceable clock.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/kernel/clock.h"
#include "platform/kernel/event.h"
#include "platform/kernel/thread.h"

namespace {

using namespace std::chrono_literals;
using platform::Event;

TEST(Events, ManualResetStaysSignalledUntilCleared) {
  Event e(Event::Reset::Manual);
  EXPECT_FALSE(e.Wait(0ms));
  e.Set();
  EXPECT_TRUE(e.Wait(0ms));
  EXPECT_TRUE(e.IsSignalled());
  e.Clear();
  EXPECT_FALSE(e.IsSignalled());
}

TEST(Events, AutoResetIsConsumedByOneWait) {
  Event e(Event::Reset::Auto, true);
  EXPECT_TRUE(e.Wait(0ms));
  EXPECT_FALSE(e.Wait(0ms));
}

TEST(Events, AWaitEndsWhenAnotherThreadSets) {
  Event e(Event::Reset::Auto);
  std::thread setter([&e] { e.Set(); });
  EXPECT_TRUE(e.Wait());
  setter.join();
}

TEST(Workers, StartRunsTheBodyAndJoinWaitsForIt) {
  std::atomic<int> ran{0};
  platform::WorkerThread worker;
  ASSERT_TRUE(worker.Start([&ran] { ran = 1; }));
  worker.Join();
  EXPECT_EQ(ran, 1);
  // A second job on the same worker joins the first.
  ASSERT_TRUE(worker.Start([&ran] { ran = 2; }));
  worker.Join();
  EXPECT_EQ(ran, 2);
}

TEST(Workers, AThreadTheSystemRefusesIsReportedNotThrown) {
  platform::WorkerThread worker;
  platform::testing::FailNextThreadStart();
  bool ran = false;
  EXPECT_FALSE(worker.Start([&ran] { ran = true; }));
  EXPECT_FALSE(worker.Joinable());
  EXPECT_FALSE(ran);
}

TEST(Clock, VirtualClockAdvancesOnlyBySleeping) {
  platform::VirtualClock clock;
  platform::ScopedClock use(clock);
  auto start = platform::CurrentClock().Now();
  platform::Sleep(2000);
  platform::Sleep(200);
  EXPECT_EQ(platform::CurrentClock().Now() - start, 2200ms);
  EXPECT_EQ(clock.Slept(), 2200ms);
  EXPECT_EQ(clock.SleepCount(), 2u);
}

TEST(Clock, TheRealClockComesBackWhenTheOverrideEnds) {
  platform::VirtualClock clock;
  { platform::ScopedClock use(clock); }
  EXPECT_NE(&platform::CurrentClock(), &clock);
}

}  // namespace
