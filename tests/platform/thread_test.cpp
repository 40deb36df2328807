#include "platform/thread.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "platform/clock.h"

namespace {

TEST(Thread, RunsItsProcedureReportsItsExitCodeAndJoinsWithATimeout)
{
    platform::Thread thread;
    platform::Event release(true);
    std::atomic<bool> wasCurrent{false};
    ASSERT_TRUE(thread.Start([&] {
        wasCurrent = thread.IsCurrent();
        platform::WaitForEvent(release, platform::WaitForever);
        return 7u;
    }));
    thread.LowerPriority();
    EXPECT_FALSE(thread.Join(20));
    EXPECT_FALSE(thread.HasEnded());
    release.Set();
    EXPECT_TRUE(thread.Join(2000));
    EXPECT_TRUE(wasCurrent);
    EXPECT_FALSE(thread.IsCurrent());
    EXPECT_EQ(thread.ExitCode(), 7u);
}

// Read between two readings of the standard clock around a sleep, the
// counter's ticks, taken at its frequency, span at least the sleep and at
// most what the standard clock saw. Both bounds hold however loaded the
// machine is.
TEST(Clock, CounterCountsTimeAtItsFrequency)
{
    using namespace std::chrono;
    const auto before = steady_clock::now();
    const uint64_t first = platform::PerformanceCounter();
    std::this_thread::sleep_for(20ms);
    const uint64_t last = platform::PerformanceCounter();
    const auto after = steady_clock::now();
    const double counted = static_cast<double>(last - first) / static_cast<double>(platform::PerformanceFrequency());
    EXPECT_GE(counted, 0.020);
    EXPECT_LE(counted, duration<double>(after - before).count());
}

} // namespace
