// The demonstration ROM through both libraries, as a front end runs it: the
// screen as the helper library blits it into a window, keys through the
// engine, objects pushed and bytes and files sent through the helper.
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

int32_t PatientSender(uint32_t byte)
{
    return static_cast<int32_t>(KHSerialSendByte(byte, 1000));
}

TEST(EndToEnd, AnXModemFileOfAThousandBytesArrivesWhole)
{
    ProgramStart program;
    ASSERT_TRUE(program.waitForLine(XModemLine, "XMODEM PRESS X TO RECEIVE"));
    auto* file = static_cast<uint8_t*>(std::malloc(1000));
    unsigned sum = 0;
    for (unsigned i = 0; i < 1000; ++i) {
        file[i] = static_cast<uint8_t>(i * 13 + 5);
        sum += file[i];
    }
    program.routeToXModem();
    KHXModemSendFile(PatientSender, file, 1000);
    KVPressKey(4, 2); // X: the ROM asks for the first block
    EXPECT_TRUE(program.waitForLine(XModemLine, "XMODEM RECEIVING..."));
    KVReleaseKey(4, 2);
    char expected[64];
    std::snprintf(expected, sizeof expected, "XMODEM %07u BYTES SUM %04X", 1000u, sum & 0xFFFF);
    EXPECT_TRUE(program.waitForLine(XModemLine, expected, 30000ms)) << program.line(XModemLine);
}

} // namespace
} // namespace test
