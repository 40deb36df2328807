#include "platform/event.h"

#include "platform/clock.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace platform;

namespace {

long MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

TEST(Event, AutoResetIsConsumedByTheWaitThatReportsItManualResetStaysSet)
{
    Event autoReset(false), manual(true);
    EXPECT_EQ(WaitForEvent(autoReset, 0), WaitTimedOut);
    autoReset.Set();
    EXPECT_EQ(WaitForEvent(autoReset, 0), 0);
    EXPECT_EQ(WaitForEvent(autoReset, 0), WaitTimedOut);
    manual.Set();
    EXPECT_EQ(WaitForEvent(manual, 0), 0);
    EXPECT_EQ(WaitForEvent(manual, 10), 0);
    manual.Reset();
    EXPECT_EQ(WaitForEvent(manual, 0), WaitTimedOut);

    // A pair reports its first set event and consumes only that one.
    Event first(false), second(false);
    first.Set();
    second.Set();
    EXPECT_EQ(WaitForEitherEvent(first, second, 0), 0);
    EXPECT_TRUE(second.IsSet());
    EXPECT_EQ(WaitForEitherEvent(first, second, 0), 1);
    EXPECT_EQ(WaitForEitherEvent(first, second, 0), WaitTimedOut);
    manual.Set();
    autoReset.Set();
    EXPECT_EQ(WaitForEitherEvent(manual, autoReset, 0), 0);
    EXPECT_TRUE(autoReset.IsSet());
}

TEST(Event, WaitsTimeOutOrWakeWhenAnotherThreadSets)
{
    Event first(false), second(true);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForEvent(second, 50), WaitTimedOut);
    EXPECT_GE(MillisecondsSince(start), 45);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        second.Set();
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForEitherEvent(first, second, WaitForever), 1);
    EXPECT_LT(MillisecondsSince(start), 2000);
    setter.join();
}

// The deadline is a value of the high-resolution counter, finer than the
// millisecond of the other waits.
TEST(Event, WaitsUntilACounterDeadline)
{
    Event first(false), second(true);
    Event* both[] = {&first, &second};
    const uint64_t tick = PerformanceFrequency() / 8192; // 122 us
    for (const uint64_t ahead : {3 * tick, 20 * tick}) {
        const uint64_t deadline = PerformanceCounter() + ahead;
        EXPECT_EQ(WaitForEventsUntil(both, 2, deadline), WaitTimedOut);
        const uint64_t now = PerformanceCounter();
        EXPECT_GE(now, deadline) << "not before the deadline";
        EXPECT_LT(now - deadline, PerformanceFrequency()) << "nor a second after it";
    }

    // A deadline already passed only polls, and takes an event that is set.
    EXPECT_EQ(WaitForEventsUntil(both, 2, 0), WaitTimedOut);
    first.Set();
    EXPECT_EQ(WaitForEventsUntil(both, 2, PerformanceCounter() - tick), 0);
    EXPECT_FALSE(first.IsSet());

    // Another thread's event ends a wait whose deadline is far off.
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        second.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForEventsUntil(both, 2, PerformanceCounter() + 60 * PerformanceFrequency()), 1);
    EXPECT_LT(MillisecondsSince(start), 2000);
    setter.join();
}

} // namespace
