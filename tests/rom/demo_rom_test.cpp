// The demonstration ROM on both libraries, driven as a front end drives it.
// What it shows is read back from the window's pixels against the font.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

#include "tests/rom/demo_machine.h"
#include "tests/rom/xmodem_block.h"

namespace test {

constexpr uint8_t Eot = 0x04, Ack = 0x06, Nak = 0x15;

// How far the routine at 0x3019 moves D0 past an object written at address
// (hexadecimal digits in address order).
static uint32_t Measure(uint32_t address, std::string_view digits)
{
    for (size_t i = 0; i < digits.size(); ++i)
        KHWriteNibble(address + static_cast<uint32_t>(i), std::stoul(std::string(1, digits[i]), nullptr, 16));
    KVSetRegister(KV_REG_D0, address);
    KVSetRegister(KV_REG_FLAGS, 0x100);
    KVExecuteRoutine(0x3019);
    return KVGetRegister(KV_REG_D0) - address;
}

static bool Send(const std::vector<uint8_t>& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t byte) { return KHSerialSendByte(byte, 5000) == 1; });
}

// One session as a front end drives it: memory as object placing expects
// it, keys and the annunciator, serial echo, a reset, objects pushed and
// measured.
TEST(DemoRom, SetsUpMemoryShowsKeysEchoesBytesStartsAfreshAndCountsObjects)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(KeyLine, "KEY    --"));
    KVStop();
    const uint32_t map[][3] = {{0x80000, 0, KV_MODULE_RAM}, {0xFFFFF, 0x7FFFF, KV_MODULE_RAM}, {0x105, 5, KV_MODULE_IO}};
    for (const auto& [address, offset, expected] : map) {
        uint32_t module = KV_MODULE_NONE;
        EXPECT_EQ(KVTranslateAddress(address, &module), offset);
        EXPECT_EQ(module, expected);
    }
    // The object area at 0x82000, empty; the stack's bottom at 0xA0000;
    // every cell between them free.
    const uint32_t words[][2] = {{0x806EE, 0x82000}, {0x806F3, 0x82000}, {0x806F8, 0xA0000}, {0x8082E, 0x1E000 / 5}};
    for (const auto& [address, expected] : words) {
        uint32_t value = 0;
        for (unsigned i = 0; i < 5; ++i)
            value |= uint32_t{KHReadNibble(address + i)} << (4 * i);
        EXPECT_EQ(value, expected) << std::hex << address;
    }
    KVRun();
    for (auto [column, row, shown] :
         {std::tuple{3, 1, "KEY    C3 R1"}, {8, 8, "KEY    C8 R8"}, {0, 0, "KEY    C0 R0"}, {9, 9, "KEY    ON"}}) {
        KVPressKey(column, row);
        EXPECT_TRUE(machine.waitForLine(KeyLine, shown)) << machine.line(KeyLine);
        EXPECT_EQ(KVGetAnnunciators() & 1, 1) << shown;
        KVReleaseKey(column, row);
        EXPECT_TRUE(machine.waitForLine(KeyLine, "KEY    --")) << shown;
        EXPECT_EQ(KVGetAnnunciators() & 1, 0) << shown;
    }

    const auto echo = [&](const std::vector<uint8_t>& bytes, const char* shown) {
        for (uint8_t byte : bytes) {
            ASSERT_TRUE(Send({byte}));
            EXPECT_EQ(machine.nextByte(), byte);
        }
        EXPECT_TRUE(machine.waitForLine(SerialLine, shown)) << machine.line(SerialLine);
    };
    echo({0x41, 0x00, 0xFF}, "SERIAL 41 00 FF");
    echo({0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19}, "SERIAL 12 13 14 15 16 17 18 19");
    ASSERT_TRUE(machine.waitForLine(ClockLine, "CLOCK  0000001"));
    KVStop();
    KVReset();
    KVRun();
    EXPECT_TRUE(machine.waitForLine(SerialLine, "SERIAL --"));
    EXPECT_TRUE(machine.waitForLine(ClockLine, "CLOCK  0000000"));
    echo({0x33}, "SERIAL 33");

    // The string "AB": prolog 02A2C, length 9 (the field and four nibbles).
    const uint8_t text[] = {0xC, 0x2, 0xA, 0x2, 0x0, 0x9, 0x0, 0x0, 0x0, 0x0, 0x1, 0x4, 0x2, 0x4};
    for (const char* shown : {"STACK  0000001", "STACK  0000002"}) {
        KVStop();
        ASSERT_EQ(KHPushObject(text, sizeof text), 1u);
        KVRun();
        EXPECT_TRUE(machine.waitForLine(StackLine, shown)) << machine.line(StackLine);
    }
    KVStop();
    // Prologs low nibble first: real 02933, string 02A2C, binary integer
    // 02A4E, code 02DCC; a length field counts itself and the body.
    EXPECT_EQ(Measure(0x90000, "33920" "0000000000000000"), 21u);
    EXPECT_EQ(Measure(0x90100, "C2A20" "90000" "1424"), 14u);
    EXPECT_EQ(Measure(0x90200, "E4A20" "A0000" "12345"), 15u);
    EXPECT_EQ(Measure(0x90300, "CCD20" "50000"), 10u);
    EXPECT_EQ(Measure(0x90400, "CCD20" "5F100" "0"), 5u + 0x1F5);
    EXPECT_EQ(Measure(0x90500, "12345"), 5u); // no known prolog
    // The map a front end sets up to measure an object in port 1: I/O at
    // 0x100, RAM at 0x70000, port 1 at 0x80000.
    KVMemoryReset();
    for (uint32_t value : {0x100u, 0xF0000u, 0x70000u, 0xF0000u, 0x70000u, 0x80000u, 0x80000u})
        KVMemoryConfig(value);
    EXPECT_EQ(Measure(0x80040, "C2A20" "D0000" "41424344"), 18u);
}

// The ROM's receiver against the sender written here, through each fault it
// must survive: a wrong checksum, a number that disagrees with its
// complement, a block that stops halfway (asked again after two silent
// seconds), a block again after a lost ACK, noise before EOT. Then the
// helper library's sender, fed by a reader thread on the pipe until the ROM
// acknowledged eight blocks and the end.
TEST(DemoRom, ReceivesXModemFilesThroughBadBlocksAndFromTheLibrarysSender)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(XModemLine, "XMODEM PRESS X TO RECEIVE"));
    KVPressKey(4, 2); // X
    ASSERT_EQ(machine.nextByte(), Nak);
    KVReleaseKey(4, 2);
    EXPECT_TRUE(machine.waitForLine(XModemLine, "XMODEM RECEIVING..."));
    // 1000 bytes with a filler byte (0x1A) inside, which is data: the first
    // 999 sum to 0xED03, all of them to 0xED57.
    std::vector<uint8_t> file(1000);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(i == 500 ? 0x1A : i * 7 + 3);
    const std::vector<uint8_t> part(file.begin(), file.end() - 1);
    std::vector<uint8_t> bad[3] = {XModemBlock(part, 0, 1), XModemBlock(part, 0, 1), XModemBlock(part, 0, 1)};
    bad[0].back() ^= 1;
    bad[1][2] ^= 0x80;
    bad[2].resize(60);
    for (const auto& block : bad) {
        ASSERT_TRUE(Send(block));
        EXPECT_EQ(machine.nextByte(10000ms), Nak);
    }
    for (unsigned block = 1; block <= 9; ++block) {
        const unsigned number = block < 9 ? block : 8;
        ASSERT_TRUE(Send(XModemBlock(part, number * 128 - 128, static_cast<uint8_t>(number))));
        ASSERT_EQ(machine.nextByte(), Ack) << "block " << block;
    }
    ASSERT_TRUE(Send({0x55, Eot}));
    EXPECT_EQ(machine.nextByte(), Ack);
    EXPECT_TRUE(machine.waitForLine(XModemLine, "XMODEM 0000999 BYTES SUM ED03")) << machine.line(XModemLine);
    ASSERT_TRUE(Send({'Z'})); // echoed again afterwards
    EXPECT_EQ(machine.nextByte(), 'Z');

    auto* copy = static_cast<uint8_t*>(std::malloc(1000));
    std::memcpy(copy, file.data(), 1000);
    KHXModemSendFile([](uint32_t byte) { return static_cast<int32_t>(KHSerialSendByte(byte, 1000)); }, copy, 1000);
    std::thread reader([&] {
        for (int acks = 0; acks < 9;) {
            const auto byte = machine.nextByte(10000ms);
            if (!byte)
                return;
            acks += *byte == Ack;
            KHXModemOnByteReceived(*byte);
        }
    });
    KVPressKey(4, 2);
    EXPECT_TRUE(machine.waitForLine(XModemLine, "XMODEM 0001000 BYTES SUM ED57", 30000ms)) << machine.line(XModemLine);
    KVReleaseKey(4, 2);
    reader.join();
}

} // namespace test
