// The demonstration ROM's clock through both libraries, against the host's
// clock. It runs alone (RUN_SERIAL): other tests' engines would take the
// processor time that keeps the machine's clock in step.
#include <chrono>
#include <gtest/gtest.h>

#include "tests/e2e/program_start.h"

namespace test {
namespace {

TEST(EndToEndTiming, TheClockAdvancesOncePerSecondOfHostTime)
{
    ProgramStart program;
    ASSERT_TRUE(program.waitForLine(ClockLine, "CLOCK  0000001", 3000ms));
    const auto first = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.waitForLine(ClockLine, "CLOCK  0000006", 7000ms)) << program.line(ClockLine);
    // 5 s within 1%: the screen shows a change within a frame or two.
    EXPECT_NEAR(std::chrono::duration<double>(std::chrono::steady_clock::now() - first).count(), 5.0, 0.05);
}

} // namespace
} // namespace test
