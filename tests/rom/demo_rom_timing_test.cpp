// The demonstration ROM against the host's clock: how soon its title shows,
// how its clock keeps time, and that it sleeps between events. These run
// alone (RUN_SERIAL): a machine busy with other tests delays the engine's
// slices, and the machine's clock follows its slices.
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "korvane.h"
#include "tests/rom/demo_machine.h"

namespace test {
namespace {

TEST(DemoRom, ShowsItsTitleWithinOneSecondOfStart)
{
    DemoMachine machine;
    EXPECT_TRUE(machine.waitForScreen(
        [](const DotReader& dark) {
            return ShowsCentredText(dark, TitleLine, "BUILT-IN DEMONSTRATION ROM") &&
                   ShowsCentredText(dark, TitleLine + 1, "PUT YOUR OWN ROM.E49 IN THE") &&
                   ShowsCentredText(dark, TitleLine + 2, "WORKING DIRECTORY TO RUN IT");
        },
        1000ms));
    EXPECT_TRUE(machine.waitForLine(KeyLine, "KEY    --"));
    EXPECT_EQ(machine.line(StackLine), "STACK  0000000");
    EXPECT_EQ(machine.line(SerialLine), "SERIAL --");
    EXPECT_EQ(machine.line(XModemLine), "XMODEM PRESS X TO RECEIVE");
}

TEST(DemoRom, TheClockTicksOnceASecondFromTheTimerInterrupt)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(ClockLine, "CLOCK  0000001", 3000ms));
    const auto first = std::chrono::steady_clock::now();
    ASSERT_TRUE(machine.waitForLine(ClockLine, "CLOCK  0000006", 7000ms)) << machine.line(ClockLine);
    // Five steps on the screen in five seconds, give or take a few frames.
    EXPECT_NEAR(std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count(), 5.0, 0.1);
    // Behind them, one TIMER2 interrupt a second: 5 s within 1%.
    const auto interrupts = machine.timerInterrupts();
    ASSERT_GE(interrupts.size(), 6u);
    EXPECT_NEAR(std::chrono::duration<double>(interrupts[5] - interrupts[0]).count(), 5.0, 0.05);
}

TEST(DemoRom, SleepsBetweenEvents)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(ClockLine, "CLOCK  0000001", 3000ms));
    KVStop();
    const uint64_t before = KVGetRegister(KV_REG_CYCLES_LOW) | uint64_t{KVGetRegister(KV_REG_CYCLES_HIGH)} << 32;
    const unsigned sleepsBefore = machine.sleeps();
    KVRun();
    std::this_thread::sleep_for(2000ms);
    KVStop();
    const uint64_t after = KVGetRegister(KV_REG_CYCLES_LOW) | uint64_t{KVGetRegister(KV_REG_CYCLES_HIGH)} << 32;
    // Two clock ticks, each a pass of the main loop of a few thousand
    // cycles; a loop that never slept would run hundreds of millions.
    EXPECT_GE(machine.sleeps() - sleepsBefore, 2u);
    EXPECT_LT(after - before, 2000000u);
}

} // namespace
} // namespace test
