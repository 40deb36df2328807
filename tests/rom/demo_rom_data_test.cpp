// The demonstration ROM's data paths on the real engine: an XModem file
// fed by a sender written here, objects measured by the routine at 0x3019,
// and the count of the data stack.
#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

#include "korvane.h"
#include "tests/rom/demo_machine.h"

namespace test {
namespace {

constexpr uint8_t Soh = 0x01, Eot = 0x04, Ack = 0x06, Nak = 0x15;

// The sending side of XModem, checksum mode: block k of 128 bytes, the end
// filled with 0x1A.
std::vector<uint8_t> Block(const std::vector<uint8_t>& file, unsigned index)
{
    const uint8_t number = static_cast<uint8_t>(index + 1);
    std::vector<uint8_t> block = {Soh, number, static_cast<uint8_t>(255 - number)};
    unsigned sum = 0;
    for (unsigned i = 0; i < 128; ++i) {
        const size_t at = index * 128 + i;
        const uint8_t byte = at < file.size() ? file[at] : 0x1A;
        block.push_back(byte);
        sum += byte;
    }
    block.push_back(static_cast<uint8_t>(sum));
    return block;
}

bool SendAll(DemoMachine& machine, const std::vector<uint8_t>& bytes)
{
    for (uint8_t byte : bytes)
        if (!machine.sendByte(byte))
            return false;
    return true;
}

std::string Expected(const std::vector<uint8_t>& file)
{
    unsigned sum = 0;
    for (uint8_t byte : file)
        sum += byte;
    char text[64];
    std::snprintf(text, sizeof text, "XMODEM %07zu BYTES SUM %04X", file.size(), sum & 0xFFFF);
    return text;
}

void StartTransfer(DemoMachine& machine)
{
    ASSERT_TRUE(machine.waitForLine(XModemLine, "XMODEM PRESS X TO RECEIVE"));
    KVPressKey(4, 2); // X
    ASSERT_EQ(machine.nextByte(3000ms), Nak);
    KVReleaseKey(4, 2);
    EXPECT_TRUE(machine.waitForLine(XModemLine, "XMODEM RECEIVING..."));
}

TEST(DemoRomXModem, ReceivesAFileOfAThousandBytesWithItsCountAndSum)
{
    DemoMachine machine;
    StartTransfer(machine);
    std::vector<uint8_t> file(1000);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(i * 7 + 3);
    file[500] = 0x1A; // a filler byte inside the file is data
    for (unsigned index = 0; index < 8; ++index) {
        ASSERT_TRUE(SendAll(machine, Block(file, index)));
        ASSERT_EQ(machine.nextByte(), Ack) << "block " << index + 1;
    }
    ASSERT_TRUE(machine.sendByte(Eot));
    EXPECT_EQ(machine.nextByte(), Ack);
    EXPECT_TRUE(machine.waitForLine(XModemLine, Expected(file))) << machine.line(XModemLine);

    // Afterwards bytes are echoed again.
    ASSERT_TRUE(machine.sendByte('Z'));
    EXPECT_EQ(machine.nextByte(), 'Z');
}

TEST(DemoRomXModem, RefusesABadBlockAndIgnoresARepeatedOne)
{
    DemoMachine machine;
    StartTransfer(machine);
    std::vector<uint8_t> file(256);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(255 - i);

    std::vector<uint8_t> bad = Block(file, 0);
    bad.back() ^= 1; // wrong checksum
    ASSERT_TRUE(SendAll(machine, bad));
    EXPECT_EQ(machine.nextByte(), Nak);
    bad = Block(file, 0);
    bad[2] ^= 0x80; // number and complement disagree
    ASSERT_TRUE(SendAll(machine, bad));
    EXPECT_EQ(machine.nextByte(), Nak);

    ASSERT_TRUE(SendAll(machine, Block(file, 0)));
    EXPECT_EQ(machine.nextByte(), Ack);
    ASSERT_TRUE(SendAll(machine, Block(file, 0))); // our ACK was "lost": the same block again
    EXPECT_EQ(machine.nextByte(), Ack);
    ASSERT_TRUE(SendAll(machine, Block(file, 1)));
    EXPECT_EQ(machine.nextByte(), Ack);
    ASSERT_TRUE(machine.sendByte(0x55)); // noise between blocks
    ASSERT_TRUE(machine.sendByte(Eot));
    EXPECT_EQ(machine.nextByte(), Ack);
    EXPECT_TRUE(machine.waitForLine(XModemLine, Expected(file))) << machine.line(XModemLine);
}

TEST(DemoRomXModem, AsksAgainWhenABlockStopsHalfway)
{
    DemoMachine machine;
    StartTransfer(machine);
    const std::vector<uint8_t> file(130, 0x42); // two blocks, the second mostly filler
    std::vector<uint8_t> half = Block(file, 0);
    half.resize(60);
    ASSERT_TRUE(SendAll(machine, half));
    EXPECT_EQ(machine.nextByte(10000ms), Nak); // after two silent seconds
    ASSERT_TRUE(SendAll(machine, Block(file, 0)));
    EXPECT_EQ(machine.nextByte(), Ack);
    ASSERT_TRUE(SendAll(machine, Block(file, 1)));
    EXPECT_EQ(machine.nextByte(), Ack);
    ASSERT_TRUE(machine.sendByte(Eot));
    EXPECT_EQ(machine.nextByte(), Ack);
    EXPECT_TRUE(machine.waitForLine(XModemLine, Expected(file))) << machine.line(XModemLine);
}

// Writes nibbles given as hexadecimal digits in address order.
void Poke(std::vector<uint8_t>& ram, uint32_t address, const char* digits)
{
    for (; *digits; ++digits, ++address) {
        const char c = *digits;
        ram[address & 0x7FFFF] = static_cast<uint8_t>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
}

// D0 after the routine at 0x3019 ran from an object at address.
uint32_t Measure(uint32_t address)
{
    KVSetRegister(KV_REG_D0, address);
    KVSetRegister(KV_REG_FLAGS, 0x100);
    KVExecuteRoutine(0x3019);
    return KVGetRegister(KV_REG_D0);
}

TEST(DemoRomObjects, TheRoutineAt3019MovesD0PastEachKindOfObject)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(StackLine, "STACK  0000000"));
    KVStop();
    // Prologs low nibble first: real 02933, string 02A2C, binary integer
    // 02A4E, code 02DCC; a length field counts itself and the body.
    Poke(machine.Ram, 0x90000, "33920" "0000000000000000");          // real: 5 + 16
    Poke(machine.Ram, 0x90100, "C2A20" "90000" "1424");               // "AB": length 9
    Poke(machine.Ram, 0x90200, "E4A20" "A0000" "12345");              // 5-nibble integer: length 10
    Poke(machine.Ram, 0x90300, "CCD20" "50000");                      // empty code object
    Poke(machine.Ram, 0x90400, "CCD20" "5F100" "0");                  // code of 0x1F5 - 5 nibbles
    Poke(machine.Ram, 0x90500, "12345");                              // no known prolog
    EXPECT_EQ(Measure(0x90000), 0x90000u + 21);
    EXPECT_EQ(Measure(0x90100), 0x90100u + 14);
    EXPECT_EQ(Measure(0x90200), 0x90200u + 15);
    EXPECT_EQ(Measure(0x90300), 0x90300u + 10);
    EXPECT_EQ(Measure(0x90400), 0x90400u + 5 + 0x1F5);
    EXPECT_EQ(Measure(0x90500), 0x90500u + 5);
}

TEST(DemoRomObjects, TheRoutineAt3019ReadsPort1WhereObjectsAreStoredThere)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(StackLine, "STACK  0000000"));
    KVStop();
    // The map a front end sets up to measure an object in port 1: I/O at
    // 0x100, RAM at 0x70000, port 1 at 0x80000.
    KVMemoryReset();
    for (uint32_t value : {0x100u, 0xF0000u, 0x70000u, 0xF0000u, 0x70000u, 0x80000u, 0x80000u})
        KVMemoryConfig(value);
    Poke(machine.Port1, 0x40, "C2A20" "D0000" "41424344");
    EXPECT_EQ(Measure(0x80040), 0x80040u + 18);
}

TEST(DemoRomObjects, TheStackCountFollowsCellsPushedBelowTheStackBottom)
{
    DemoMachine machine;
    ASSERT_TRUE(machine.waitForLine(StackLine, "STACK  0000000"));
    // Two objects pushed as a front end pushes them: entries in the object
    // area, and a cell for each below the old stack top.
    KVStop();
    uint32_t top = ReadWord(machine.Ram, 0x806F8);
    for (uint32_t object : {0x82001u, 0x82020u}) {
        top -= 5;
        WriteWord(machine.Ram, top, object);
    }
    WriteWord(machine.Ram, 0x806F8, top);
    KVRun();
    EXPECT_TRUE(machine.waitForLine(StackLine, "STACK  0000002")) << machine.line(StackLine);
}

} // namespace
} // namespace test
