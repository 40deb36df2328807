#include <gtest/gtest.h>

#include <cstring>

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

// What a read of an offset gives after the window test wrote its nibble.
enum class Reads {
    Zero,     // no register: 0
    Written,  // a register of the window's own: the nibble back
    Seven,    // write-only display registers and 0x13
    Fifteen,  // 0x0F
    Device,   // display, serial, flash: their owners' business
    Requests, // service-request nibbles: not what was written
};

// One line per offset, written out from the register map.
constexpr Reads Expected[64] = {
    Reads::Device,   Reads::Zero,    Reads::Zero,    Reads::Zero,     // 00-03
    Reads::Written,  Reads::Written, Reads::Written, Reads::Written,  // 04-07 CRC
    Reads::Zero,     Reads::Written, Reads::Zero,    Reads::Device,   // 08-0B
    Reads::Device,   Reads::Device,  Reads::Written, Reads::Fifteen,  // 0C-0F
    Reads::Device,   Reads::Device,  Reads::Device,  Reads::Seven,    // 10-13
    Reads::Device,   Reads::Device,  Reads::Device,  Reads::Device,   // 14-17
    Reads::Requests, Reads::Requests, Reads::Zero,   Reads::Zero,     // 18-1B
    Reads::Device,   Reads::Zero,    Reads::Written, Reads::Written,  // 1C-1F
    Reads::Seven,    Reads::Seven,   Reads::Seven,   Reads::Seven,    // 20-23
    Reads::Seven,    Reads::Seven,   Reads::Seven,   Reads::Seven,    // 24-27
    Reads::Device,   Reads::Device,  Reads::Zero,    Reads::Zero,     // 28-2B
    Reads::Zero,     Reads::Zero,    Reads::Written, Reads::Written,  // 2C-2F
    Reads::Seven,    Reads::Seven,   Reads::Seven,   Reads::Seven,    // 30-33
    Reads::Seven,    Reads::Zero,    Reads::Zero,    Reads::Written,  // 34-37
    Reads::Written,  Reads::Written, Reads::Written, Reads::Written,  // 38-3B TIMER2
    Reads::Written,  Reads::Written, Reads::Written, Reads::Written,  // 3C-3F
};

// Machine with the window at 0x80000 over one page of RAM.
struct IoWindow : ::testing::Test {
    Machine M;
    std::vector<uint8_t> Ram = test::NibbleBuffer(0x1000);

    IoWindow()
    {
        std::memset(IoRegisterShadow, 0, sizeof IoRegisterShadow);
        Timer1 = Timer1Control = Timer2Control = 0;
        Timer2 = 0;
        KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), 0xFFF);
        KVMemoryConfig(Window);  // I/O window
        KVMemoryConfig(0xFF000); // RAM size: one page
        KVMemoryConfig(Window);  // RAM base
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
        case Reads::Zero: EXPECT_EQ(read, 0u); break;
        case Reads::Written: EXPECT_EQ(read, written); break;
        case Reads::Seven: EXPECT_EQ(read, 7u); break;
        case Reads::Fifteen: EXPECT_EQ(read, 15u); break;
        case Reads::Requests: EXPECT_EQ(read, offset == 0x18 ? 0x5u : 0xAu); break;
        case Reads::Device: break;
        }
    }
    EXPECT_EQ(CrcRegister, crc);
    EXPECT_EQ(Timer2, timer2);
    EXPECT_EQ(Timer1, NibbleFor(0x37));
    EXPECT_EQ(Timer1Control, NibbleFor(0x2E));
    EXPECT_EQ(Timer2Control, NibbleFor(0x2F));
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
    EXPECT_EQ(CrcRegister, 0xE234u);
    IoWriteRegister(0x1E, 0x1B);
    EXPECT_EQ(PlainRegister1E, 0xBu);
    IoWriteRegister(0x38 + 7, 0x1C);
    EXPECT_EQ(Timer2, 0xC0000000u);
    EXPECT_EQ(IoReadRegister(0x40 + 0x0F), 15u) << "offsets wrap at 64";
    FlashWriteEnable = 1;
    EXPECT_EQ(ReadNibble(Window + 0x1C), 8u);

    ServiceRequestBits = 0x21;
    Timer2 = 0x0000ABCD;
    EXPECT_EQ(ReadAddress(Window + 0x17) & 0xFFFF0, 0x00210u);
    EXPECT_EQ(ServiceRequestBits, 0u);
    EXPECT_EQ(ReadAddress(Window + 0x38), 0x0ABCDu);

    CrcRegister = 0;
    WriteNibble(Window + 0x40, 1);
    EXPECT_EQ(Ram[0x40], 1u);
    EXPECT_EQ(IoRegisterShadow[0], 0u);
    EXPECT_EQ(ReadNibble(Window + 0x40), 1u);
    EXPECT_EQ(CrcRegister, 0x1081u);
}

TEST_F(IoWindow, HostServiceWritesTheClockIntoTheLiveFormOfC)
{
    for (bool decimal : {false, true}) {
        decimal ? SwitchToDecimal() : SwitchToHex();
        std::memset(&Cpu.C, 0xEE, sizeof Cpu.C);
        WriteNibble(Window + 0x2D, 13);
        EXPECT_EQ(test::Value(Cpu.C), 1'000'000'000u);
        const bool staleKept = decimal ? Cpu.C.PackedLow == 0xEEEEEEEE : Cpu.C.Nibbles[15] == 0xEE;
        EXPECT_TRUE(staleKept) << "only the live form is written";
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
