// Objects pushed through the helper library onto the demonstration ROM's
// data stack, measured by the ROM's own routine, counted on its screen.
#include <gtest/gtest.h>

#include "korvane.h"
#include "tessock.h"
#include "tests/e2e/program_start.h"

namespace test {
namespace {

TEST(EndToEnd, APushedStringRaisesTheStackCount)
{
    ProgramStart program;
    ASSERT_TRUE(program.waitForLine(StackLine, "STACK  0000000"));
    // The string "AB": prolog 02A2C, length 9 (the field and four nibbles).
    const uint8_t text[] = {0xC, 0x2, 0xA, 0x2, 0x0, 0x9, 0x0, 0x0, 0x0, 0x0, 0x1, 0x4, 0x2, 0x4};
    KVStop();
    ASSERT_EQ(KHPushObject(text, sizeof text), 1u);
    KVRun();
    EXPECT_TRUE(program.waitForLine(StackLine, "STACK  0000001")) << program.line(StackLine);
    KVStop();
    ASSERT_EQ(KHPushObject(text, sizeof text), 1u);
    KVRun();
    EXPECT_TRUE(program.waitForLine(StackLine, "STACK  0000002")) << program.line(StackLine);
}

} // namespace
} // namespace test
