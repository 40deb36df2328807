#include "platform/thread.h"

#include <atomic>
#include <gtest/gtest.h>

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

TEST(Clock, CounterIsMonotonicAtItsFrequency)
{
    const uint64_t first = platform::PerformanceCounter();
    platform::YieldThread();
    EXPECT_GE(platform::PerformanceCounter(), first);
    EXPECT_EQ(platform::PerformanceFrequency() / 8192, 122070u);
}

} // namespace
