#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "engine/core/banks.h"
#include "engine/core/cpu_state.h"
#include "engine/core/interrupts.h"
#include "engine/core/io_registers.h"
#include "engine/core/memory.h"
#include "engine/core/timers.h"
#include "platform/clock.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Machine;

namespace {

constexpr uint32_t Window = 0x80000;

// What a read gives after the test wrote its nibble, one letter per offset
// from the register map: 0 no register, W the nibble back, 7 and F those
// constants (write-only registers read 7), R a service-request nibble, D a
// device's own business.
constexpr char Expected[] = "D000" "WWWW" "0W0D" "DDWF"  // 00-0F display, CRC, plain 09, annunciators, BAUD, 0E
                            "DDD7" "DDDD" "RR00" "D0WW"  // 10-1F serial, requests, flash enable, plain 1E-1F
                            "7777" "7777" "DD00" "00WW"  // 20-2F display address, line count, timer controls
                            "7777" "700W" "WWWW" "WWWW"; // 30-3F menu address, TIMER1, TIMER2

// Machine with the window at 0x80000 over one page of RAM.
struct IoWindow : ::testing::Test {
    Machine M;
    std::vector<uint8_t> Ram = test::NibbleBuffer(0x1000);

    IoWindow()
    {
        std::memset(IoRegisterShadow, 0, sizeof IoRegisterShadow);
        Timers.Timer1 = Timers.Timer1Control = Timers.Timer2Control = 0, Timers.Timer2 = 0;
        KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), 0xFFF);
        for (uint32_t value : {Window, 0xFF000u, Window}) // the window, then one page of RAM under it
            KVMemoryConfig(value);
    }
    ~IoWindow() override
    {
        SetFlashWriteEnable(false);
        KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
    }
};

// A nibble per offset that is none of the host service codes at 0x2D.
uint32_t NibbleFor(uint32_t offset)
{
    return (offset * 5 + 1) & 0xF;
}

TEST_F(IoWindow, EveryOffsetKeepsItsShadowAndReadsItsRegister)
{
    const NibbleRegister cBefore = Cpu.C;
    for (uint32_t offset = 0; offset < 64; ++offset)
        WriteNibble(Window + offset, NibbleFor(offset));
    ServiceRequestBits = 0xA5;

    uint16_t crc = 0;
    uint32_t timer2 = 0;
    for (uint32_t offset = 0; offset < 64; ++offset) {
        SCOPED_TRACE(offset);
        const uint32_t written = NibbleFor(offset);
        EXPECT_EQ(IoRegisterShadow[offset], written);
        if (offset >= 0x04 && offset <= 0x07)
            crc |= static_cast<uint16_t>(written << (4 * (offset - 0x04)));
        if (offset >= 0x38)
            timer2 |= written << (4 * (offset - 0x38));
        const uint32_t crcBeforeRead = CrcRegister;
        const uint32_t read = ReadNibble(Window + offset);
        EXPECT_EQ(CrcRegister, crcBeforeRead) << "window reads leave the CRC alone";
        switch (Expected[offset]) {
        case '0': EXPECT_EQ(read, 0u); break;
        case 'W': EXPECT_EQ(read, written); break;
        case '7': EXPECT_EQ(read, 7u); break;
        case 'F': EXPECT_EQ(read, 15u); break;
        case 'R': EXPECT_EQ(read, offset == 0x18 ? 0x5u : 0xAu); break;
        }
    }
    EXPECT_EQ(std::tuple(CrcRegister, Timers.Timer2, Timers.Timer1, Timers.Timer1Control, Timers.Timer2Control),
              std::tuple(crc, timer2, NibbleFor(0x37), NibbleFor(0x2E), NibbleFor(0x2F)));
    EXPECT_EQ(ServiceRequestBits, 0u);
    EXPECT_EQ(std::memcmp(&Cpu.C, &cBefore, sizeof cBefore), 0) << "0x2D with a code of no meaning";
    EXPECT_EQ(Cpu.HST, 0u);
}

// Registers keep their width whatever is written; service requests clear as
// they are read, also by a five-nibble read, which crosses the window
// register by register; past the window lies the RAM underneath.
TEST_F(IoWindow, RegistersKeepTheirWidthAndFiveNibbleReadsGoRegisterByRegister)
{
    CrcRegister = 0x1234;
    IoWriteRegister(0x07, 0x1E);
    IoWriteRegister(0x1E, 0x1B);
    IoWriteRegister(0x38 + 7, 0x1C);
    EXPECT_EQ(std::tuple(CrcRegister, PlainRegister1E, Timers.Timer2), std::tuple(0xE234u, 0xBu, 0xC0000000u));
    EXPECT_EQ(IoReadRegister(0x40 + 0x0F), 15u) << "offsets wrap at 64";
    FlashWriteEnable = 1;
    EXPECT_EQ(ReadNibble(Window + 0x1C), 8u);

    ServiceRequestBits = 0x21, Timers.Timer2 = 0x0000ABCD;
    EXPECT_EQ(ReadAddress(Window + 0x17) & 0xFFFF0, 0x00210u);
    EXPECT_EQ(std::tuple(ServiceRequestBits, ReadAddress(Window + 0x38)), std::tuple(0u, 0x0ABCDu));

    CrcRegister = 0;
    WriteNibble(Window + 0x40, 1);
    EXPECT_EQ(std::tuple(Ram[0x40], IoRegisterShadow[0], ReadNibble(Window + 0x40)), std::tuple(1u, 0u, 1u));
    EXPECT_EQ(CrcRegister, 0x1081u);
}

TEST_F(IoWindow, HostServiceWritesTheClockIntoTheLiveFormOfC)
{
    for (bool decimal : {false, true}) {
        decimal ? SwitchToDecimal() : SwitchToHex();
        test::MarkNotLive(Cpu.C, decimal);
        WriteNibble(Window + 0x2D, 13);
        EXPECT_EQ(test::Value(Cpu.C), 1'000'000'000u);
        EXPECT_TRUE(test::NotLiveIntact(Cpu.C, decimal)) << "only the live form is written";
        const uint64_t before = platform::PerformanceCounter();
        WriteNibble(Window + 0x2D, 14);
        EXPECT_GE(test::Value(Cpu.C), before);
        EXPECT_LE(test::Value(Cpu.C), platform::PerformanceCounter());
    }
    Cpu.HST = 1;
    WriteNibble(Window + 0x2D, 0);
    EXPECT_EQ(Cpu.HST, 3u) << "SB joins XM";
}

} // namespace
