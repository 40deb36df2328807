#include "platform/event.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using platform::Event;
using platform::WaitForEitherEvent;
using platform::WaitForEvent;
using platform::WaitTimedOut;

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TEST(Event, AutoResetIsConsumedByTheWaitThatReportsIt)
{
    Event event(false);
    EXPECT_EQ(WaitForEvent(event, 0), WaitTimedOut);
    event.Set();
    EXPECT_EQ(WaitForEvent(event, 0), 0);
    EXPECT_EQ(WaitForEvent(event, 0), WaitTimedOut);
}

TEST(Event, ManualResetStaysSetUntilReset)
{
    Event event(true);
    event.Set();
    EXPECT_EQ(WaitForEvent(event, 0), 0);
    EXPECT_EQ(WaitForEvent(event, 10), 0);
    event.Reset();
    EXPECT_EQ(WaitForEvent(event, 0), WaitTimedOut);
}

TEST(Event, PairReportsTheFirstSetEventAndConsumesOnlyThatOne)
{
    Event first(false);
    Event second(false);
    first.Set();
    second.Set();
    EXPECT_EQ(WaitForEitherEvent(first, second, 0), 0);
    EXPECT_FALSE(first.IsSet());
    EXPECT_TRUE(second.IsSet());
    EXPECT_EQ(WaitForEitherEvent(first, second, 0), 1);
    EXPECT_EQ(WaitForEitherEvent(first, second, 0), WaitTimedOut);

    Event manual(true);
    Event autoReset(false);
    manual.Set();
    autoReset.Set();
    EXPECT_EQ(WaitForEitherEvent(manual, autoReset, 0), 0);
    EXPECT_TRUE(autoReset.IsSet()) << "an event behind the reported one is not consumed";
}

TEST(Event, TimedWaitTimesOutAfterRoughlyItsTime)
{
    Event event(true);
    const auto start = Clock::now();
    EXPECT_EQ(WaitForEvent(event, 50), WaitTimedOut);
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 45);
    EXPECT_LT(elapsed, 2000);
}

TEST(Event, WaitWakesWhenAnotherThreadSets)
{
    Event first(false);
    Event second(true);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        second.Set();
    });
    const auto start = Clock::now();
    EXPECT_EQ(WaitForEitherEvent(first, second, platform::WaitForever), 1);
    EXPECT_LT(ElapsedMs(start), 2000);
    setter.join();
}

TEST(Event, EachSetOfAnAutoResetEventReleasesOneWaiter)
{
    Event event(false);
    std::atomic<int> released{0};
    std::thread a([&] {
        if (WaitForEvent(event, 2000) == 0)
            ++released;
    });
    std::thread b([&] {
        if (WaitForEvent(event, 2000) == 0)
            ++released;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(released.load(), 1);
    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
}

} // namespace
