// The demonstration ROM on the real engine, driven through the engine's
// exports as a front end drives it. What the ROM shows is read back from the
// LCD frames, cell by cell against the assembler's font.
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <thread>

#include "korvane.h"
#include "tests/rom/demo_machine.h"

namespace test {
namespace {

std::string Hex2(unsigned byte)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte & 0xFF);
    return text;
}

TEST(DemoRom, ConfiguresRamAndAnEmptyDataStack)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(KeyLine, "KEY    --"));
    KVStop();
    uint32_t module = 7;
    EXPECT_EQ(KVTranslateAddress(0x80000, &module), 0u);
    EXPECT_EQ(module, static_cast<uint32_t>(KV_MODULE_RAM));
    EXPECT_EQ(KVTranslateAddress(0xFFFFF, &module), 0x7FFFFu);
    EXPECT_EQ(module, static_cast<uint32_t>(KV_MODULE_RAM));
    EXPECT_EQ(KVTranslateAddress(0x00105, &module), 5u);
    EXPECT_EQ(module, static_cast<uint32_t>(KV_MODULE_IO));
    // Object area at 0x82000, empty; the stack's bottom at 0xA0000; every
    // cell between them free.
    EXPECT_EQ(ReadWord(machine.Ram, 0x806EE), 0x82000u);
    EXPECT_EQ(ReadWord(machine.Ram, 0x806F3), 0x82000u);
    EXPECT_EQ(ReadWord(machine.Ram, 0x806F8), 0xA0000u);
    EXPECT_EQ(ReadWord(machine.Ram, 0x8082E), (0xA0000u - 0x82000u) / 5);
}

TEST(DemoRom, ShowsTheKeyDownAndLightsAnAnnunciatorWhileItIsDown)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(KeyLine, "KEY    --"));
    EXPECT_EQ(KVGetAnnunciators() & 1, 0);

    KVPressKey(3, 1);
    EXPECT_TRUE(machine.waitForLine(KeyLine, "KEY    C3 R1"));
    EXPECT_EQ(KVGetAnnunciators() & 1, 1);
    KVReleaseKey(3, 1);
    EXPECT_TRUE(machine.waitForLine(KeyLine, "KEY    --"));
    EXPECT_EQ(KVGetAnnunciators() & 1, 0);

    KVPressKey(8, 8);
    EXPECT_TRUE(machine.waitForLine(KeyLine, "KEY    C8 R8"));
    KVReleaseKey(8, 8);
    KVPressKey(0, 0);
    EXPECT_TRUE(machine.waitForLine(KeyLine, "KEY    C0 R0"));
    EXPECT_EQ(KVGetAnnunciators() & 1, 1);
    KVReleaseKey(0, 0);
    EXPECT_TRUE(machine.waitForLine(KeyLine, "KEY    --"));

    KVPressKey(9, 9);
    EXPECT_TRUE(machine.waitForLine(KeyLine, "KEY    ON"));
    EXPECT_EQ(KVGetAnnunciators() & 1, 1);
    KVReleaseKey(9, 9);
    EXPECT_TRUE(machine.waitForLine(KeyLine, "KEY    --"));
    EXPECT_EQ(KVGetAnnunciators() & 1, 0);
}

TEST(DemoRom, EchoesEverySerialByteAndShowsTheLastEight)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(SerialLine, "SERIAL --"));
    for (uint8_t byte : {0x41, 0x00, 0xFF}) {
        ASSERT_TRUE(machine.sendByte(byte));
        EXPECT_EQ(machine.nextByte(), byte);
    }
    EXPECT_TRUE(machine.waitForLine(SerialLine, "SERIAL 41 00 FF"));

    std::string expected = "SERIAL";
    for (unsigned byte = 0x10; byte < 0x1A; ++byte) {
        ASSERT_TRUE(machine.sendByte(static_cast<uint8_t>(byte)));
        EXPECT_EQ(machine.nextByte(), byte);
        if (byte >= 0x12)
            expected.append(" ").append(Hex2(byte));
    }
    EXPECT_TRUE(machine.waitForLine(SerialLine, expected));
}

TEST(DemoRom, StartsAfreshFromAResetThoughRamKeepsItsContent)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(SerialLine, "SERIAL --"));
    for (uint8_t byte : {0x31, 0x32}) {
        ASSERT_TRUE(machine.sendByte(byte));
        ASSERT_EQ(machine.nextByte(), byte);
    }
    ASSERT_TRUE(machine.waitForLine(SerialLine, "SERIAL 31 32"));
    ASSERT_TRUE(machine.waitForLine(ClockLine, "CLOCK  0000001"));
    KVStop();
    KVReset();
    KVRun();
    EXPECT_TRUE(machine.waitForLine(SerialLine, "SERIAL --"));
    EXPECT_TRUE(machine.waitForLine(ClockLine, "CLOCK  0000000"));
    ASSERT_TRUE(machine.sendByte(0x33));
    EXPECT_EQ(machine.nextByte(), 0x33);
    EXPECT_TRUE(machine.waitForLine(SerialLine, "SERIAL 33"));
}

} // namespace
} // namespace test
