#include "platform/thread.h"

#include <atomic>
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/lock.h"

namespace {

TEST(Thread, RunsItsProcedureAndReportsItsExitCode)
{
    platform::Thread thread;
    std::atomic<bool> wasCurrent{false};
    ASSERT_TRUE(thread.Start([&] {
        wasCurrent = thread.IsCurrent();
        return 7u;
    }));
    EXPECT_TRUE(thread.Join(2000));
    EXPECT_TRUE(wasCurrent);
    EXPECT_FALSE(thread.IsCurrent());
    EXPECT_EQ(thread.ExitCode(), 7u);
}

TEST(Thread, JoinTimesOutWhileTheThreadRuns)
{
    platform::Thread thread;
    platform::Event release(true);
    thread.Start([&] {
        platform::WaitForEvent(release, platform::WaitForever);
        return 0u;
    });
    thread.LowerPriority();
    EXPECT_FALSE(thread.Join(20));
    EXPECT_FALSE(thread.HasEnded());
    release.Set();
    EXPECT_TRUE(thread.Join(2000));
}

TEST(CriticalSection, MayBeTakenAgainByItsOwner)
{
    platform::CriticalSection lock;
    platform::CriticalSectionGuard outer(lock);
    platform::CriticalSectionGuard inner(lock);
    SUCCEED();
}

TEST(Clock, CounterIsMonotonicAtItsFrequency)
{
    const uint64_t first = platform::PerformanceCounter();
    platform::YieldThread();
    const uint64_t second = platform::PerformanceCounter();
    EXPECT_GE(second, first);
    EXPECT_EQ(platform::PerformanceFrequency() / 8192, 122070u);
}

} // namespace
