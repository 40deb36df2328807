#include "platform/event.h"

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

} // namespace
