// The kernel services under the engine: events, threads, the counter, pipes.
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

#include "platform/clock.h"
#include "platform/event.h"
#include "platform/pipe.h"
#include "platform/thread.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

long MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

TEST(Event, AutoResetIsConsumedByTheWaitThatReportsItManualResetStaysSet)
{
    Event autoReset(false), manual(true), first(false), second(false);
    EXPECT_EQ(WaitForEvent(autoReset, 0), WaitTimedOut);
    autoReset.Set();
    EXPECT_EQ(WaitForEvent(autoReset, 0), 0);
    EXPECT_EQ(WaitForEvent(autoReset, 0), WaitTimedOut);
    manual.Set();
    EXPECT_EQ(WaitForEvent(manual, 0) + WaitForEvent(manual, 10), 0);
    manual.Reset();
    EXPECT_EQ(WaitForEvent(manual, 0), WaitTimedOut);

    // A pair reports its first set event and consumes only that one.
    first.Set();
    second.Set();
    EXPECT_EQ(WaitForEitherEvent(first, second, 0), 0);
    EXPECT_EQ(WaitForEitherEvent(first, second, 0), 1);
    EXPECT_EQ(WaitForEitherEvent(first, second, 0), WaitTimedOut);
    manual.Set();
    autoReset.Set();
    EXPECT_EQ(WaitForEitherEvent(manual, autoReset, 0), 0);
    EXPECT_TRUE(autoReset.IsSet());
}

// Each wait times out no sooner than asked, the counter deadline to its
// finer resolution, and ends when another thread sets an event.
TEST(Event, WaitsTimeOutOrWakeWhenAnotherThreadSets)
{
    Event first(false), second(true);
    Event* both[] = {&first, &second};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForEvent(second, 50), WaitTimedOut);
    EXPECT_GE(MillisecondsSince(start), 45);
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

    for (bool counter : {false, true}) {
        std::thread setter([&] {
            std::this_thread::sleep_for(20ms);
            second.Set();
        });
        start = std::chrono::steady_clock::now();
        EXPECT_EQ(counter ? WaitForEventsUntil(both, 2, PerformanceCounter() + 60 * PerformanceFrequency())
                          : WaitForEitherEvent(first, second, WaitForever),
                  1);
        EXPECT_LT(MillisecondsSince(start), 2000);
        setter.join();
    }
}

TEST(Thread, RunsItsProcedureReportsItsExitCodeAndJoinsWithATimeout)
{
    Thread thread;
    Event release(true);
    std::atomic<bool> wasCurrent{false};
    ASSERT_TRUE(thread.Start([&] {
        wasCurrent = thread.IsCurrent();
        WaitForEvent(release, WaitForever);
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
// counter's ticks span at least the sleep and at most what the standard
// clock saw, however loaded the machine is.
TEST(Clock, CounterCountsTimeAtItsFrequency)
{
    const auto before = std::chrono::steady_clock::now();
    const uint64_t first = PerformanceCounter();
    std::this_thread::sleep_for(20ms);
    const uint64_t last = PerformanceCounter();
    const auto after = std::chrono::steady_clock::now();
    const double counted = double(last - first) / double(PerformanceFrequency());
    EXPECT_GE(counted, 0.020);
    EXPECT_LE(counted, std::chrono::duration<double>(after - before).count());
}

TEST(Pipe, BytesComeOutInOrderAFullPipeRefusesAndBothEndsCloseOnExec)
{
    Pipe pipe;
    EXPECT_EQ(pipe.ReadDescriptor(), -1);
    ASSERT_TRUE(pipe.Open());
    const int reader = pipe.ReadDescriptor();
    ASSERT_GE(reader, 0);
    EXPECT_NE(fcntl(reader, F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(fcntl(reader, F_GETFL) & O_NONBLOCK, 0) << "reads block";
    size_t taken = 0;
    for (uint8_t byte = 0; pipe.TryWrite(&byte, 1); ++byte)
        ASSERT_LT(++taken, size_t{1} << 24) << "never full";
    EXPECT_GE(taken, 4096u);
    uint8_t got[4096];
    ASSERT_EQ(read(reader, got, sizeof got), ssize_t(sizeof got));
    for (size_t i = 0; i < sizeof got; ++i)
        ASSERT_EQ(got[i], i & 0xFF);
    EXPECT_TRUE(pipe.TryWrite(got, 1)) << "reading makes room";
    pipe.Close();
    EXPECT_FALSE(pipe.IsOpen());
    EXPECT_FALSE(pipe.TryWrite(got, 1)) << "a closed pipe takes nothing";
    EXPECT_EQ(fcntl(reader, F_GETFD), -1) << "the read end is closed";
}

TEST(Pipe, ClosingEndsTheWaitOfABlockedReader)
{
    Pipe pipe;
    ASSERT_TRUE(pipe.Open());
    // The reader keeps its own descriptor, as a front end thread blocked in
    // read() holds the file open.
    const int reader = dup(pipe.ReadDescriptor());
    std::atomic<ssize_t> result{-2};
    std::thread thread([&] {
        uint8_t byte;
        result = read(reader, &byte, 1);
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(result.load(), -2) << "the read blocks while the pipe is empty";
    pipe.Close();
    thread.join();
    EXPECT_EQ(result.load(), 0) << "end of data";
    close(reader);
}

} // namespace
