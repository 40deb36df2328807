// The demonstration ROM through both libraries, as a front end runs it: the
// screen as the helper library blits it into a window, keys through the
// engine, bytes through the helper's serial link.
#include <gtest/gtest.h>

#include "korvane.h"
#include "tessock.h"
#include "tests/e2e/program_start.h"

namespace test {
namespace {

TEST(EndToEnd, TheWindowShowsTheRomScreenAtScaleTwo)
{
    ProgramStart program;
    ASSERT_TRUE(program.loaded());
    EXPECT_TRUE(program.waitForLine(KeyLine, "KEY    --"));
    EXPECT_TRUE(program.waitForScreen(
        [](const DotReader& dark) { return ShowsCentredText(dark, TitleLine, "BUILT-IN DEMONSTRATION ROM"); }, 1000ms));
    EXPECT_TRUE(program.blocksAreWhole());
}

TEST(EndToEnd, AnnunciatorsFollowKeyPresses)
{
    ProgramStart program;
    ASSERT_TRUE(program.waitForLine(KeyLine, "KEY    --"));
    KVPressKey(6, 3);
    EXPECT_TRUE(program.waitForLine(KeyLine, "KEY    C6 R3"));
    EXPECT_EQ(KVGetAnnunciators() & 1, 1);
    KVReleaseKey(6, 3);
    EXPECT_TRUE(program.waitForLine(KeyLine, "KEY    --"));
    EXPECT_EQ(KVGetAnnunciators() & 1, 0);
}

TEST(EndToEnd, SerialBytesComeBackThroughThePipe)
{
    ProgramStart program;
    ASSERT_TRUE(program.waitForLine(SerialLine, "SERIAL --"));
    for (uint8_t byte : {0x48, 0x69, 0x0D}) {
        ASSERT_EQ(KHSerialSendByte(byte, 1000), 1u);
        EXPECT_EQ(program.nextByte(), byte);
    }
    EXPECT_TRUE(program.waitForLine(SerialLine, "SERIAL 48 69 0D"));
}

} // namespace
} // namespace test
