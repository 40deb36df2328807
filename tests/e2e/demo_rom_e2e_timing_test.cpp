// The demonstration ROM through both libraries against the host's clock. It
// runs alone (RUN_SERIAL): other tests' engines would take the processor
// time that keeps the machine's clock in step.
#include <gtest/gtest.h>

#include "tests/rom/demo_machine.h"

namespace test {

static uint64_t Cycles()
{
    return KVGetRegister(KV_REG_CYCLES_LOW) | uint64_t{KVGetRegister(KV_REG_CYCLES_HIGH)} << 32;
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
    KVRun();
    const auto first = Clock::now();
    ASSERT_TRUE(machine.waitForLine(ClockLine, "CLOCK  0000006", 7000ms)) << machine.line(ClockLine);
    // 5 s within 1%: the screen shows a change within a frame or two.
    EXPECT_NEAR(std::chrono::duration<double>(Clock::now() - first).count(), 5.0, 0.05);
    // Each clock tick is a pass of the main loop of a few thousand cycles
    // between sleeps; a loop that never slept would run hundreds of millions.
    KVStop();
    EXPECT_GE(DemoMachine::Sleeps - sleeps, 5u);
    EXPECT_LT(Cycles() - cycles, 5000000u);
}

} // namespace test
