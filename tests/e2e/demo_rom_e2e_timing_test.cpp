// The demonstration ROM through both libraries against the host's clock:
// the title as the program waits for it, then the ROM's clock, timed by
// its TIMER2 interrupts, which come on the very tick that runs the timer
// out rather than when a frame shows them.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "tests/rom/demo_machine.h"

namespace test {

static uint64_t Cycles()
{
    return KVGetRegister(KV_REG_CYCLES_LOW) | uint64_t{KVGetRegister(KV_REG_CYCLES_HIGH)} << 32;
}

// When each TIMER2 interrupt was taken, by the host's clock.
static std::mutex TimesLock;
static std::vector<Clock::time_point> Timer2Times;

static size_t Timer2Interrupts()
{
    std::lock_guard<std::mutex> hold(TimesLock);
    return Timer2Times.size();
}

TEST(EndToEndTiming, TitleWithinASecondThenAClockOfHostSecondsAndSleepBetweenEvents)
{
    DemoMachine machine;
    EXPECT_TRUE(machine.waitForScreen(
        [](const DotReader& dark) {
            return ShowsCentredText(dark, TitleLine, "BUILT-IN DEMONSTRATION ROM") &&
                   ShowsCentredText(dark, TitleLine + 1, "PUT YOUR OWN ROM.E49 IN THE") &&
                   ShowsCentredText(dark, TitleLine + 2, "WORKING DIRECTORY TO RUN IT");
        },
        1000ms));
    ASSERT_TRUE(machine.waitForLine(ClockLine, "CLOCK  0000001", 3000ms));
    KVStop();
    const uint64_t cycles = Cycles();
    const unsigned sleeps = DemoMachine::Sleeps;
    KVSetInterruptHandler(
        [](uint32_t) -> int32_t {
            std::lock_guard<std::mutex> hold(TimesLock);
            Timer2Times.push_back(Clock::now());
            return 1;
        },
        0x8);
    KVRun();
    // Six run-outs, five seconds of the machine's ticks between the first
    // and the last; the clock shows them.
    for (const auto end = Clock::now() + 10s; Timer2Interrupts() < 6 && Clock::now() < end;)
        std::this_thread::sleep_for(1ms);
    ASSERT_GE(Timer2Interrupts(), 6u);
    EXPECT_TRUE(machine.waitForScreen([](const DotReader& dark) { return ShownLine(dark, ClockLine) >= "CLOCK  0000007"; },
                                      3000ms))
        << machine.line(ClockLine);
    KVStop();
    // The ticks keep the host's time. Each interrupt is timed when the
    // execution thread, below normal priority, next runs after its tick: on
    // a host loaded to several times its processors that comes up to tens of
    // milliseconds late, so the bound is 5%. A clock that loses the ticks of
    // slices that overrun is caught by the engine's own clock test, and
    // bench/korvane_bench prints the rate to a hundredth of a percent.
    EXPECT_NEAR(std::chrono::duration<double>(Timer2Times[5] - Timer2Times[0]).count(), 5.0, 0.25);
    // Each clock tick is a pass of the main loop of a few thousand cycles
    // between sleeps; a loop that never slept would run hundreds of millions.
    EXPECT_GE(DemoMachine::Sleeps - sleeps, 6u);
    EXPECT_LT(Cycles() - cycles, 6000000u);
}

} // namespace test
