#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "engine/core/memory.h"
#include "engine/decode/loads.h"
#include "tests/engine/group8/single_step.h"

using korvane::Cpu;
using namespace test;

namespace {

// 80Cn C=P, 80Dn P=C, 80Fn CPEX on every nibble and every P.
TEST(PointerTransfers, CAndPNibbleMoves)
{
    Machine m;
    std::mt19937_64 random(7);
    for (bool decimal : {false, true}) {
        for (unsigned n = 0; n < 16; ++n) {
            for (unsigned p = 0; p < 16; ++p) {
                for (char kind : {'C', 'D', 'F'}) {
                    const uint64_t c = random();
                    SetValue(Cpu.C, c);
                    korvane::SetP(static_cast<uint8_t>(p));
                    StepIn(m, std::string("80") + kind + Digits[n], decimal);
                    NibbleArray expected = ToNibbles(c);
                    if (kind != 'D')
                        expected[n] = static_cast<uint8_t>(p);
                    const unsigned expectedP = kind == 'C' ? p : ToNibbles(c)[n];
                    SCOPED_TRACE(std::string("80") + kind + Digits[n] + " P=" + std::to_string(p));
                    ASSERT_EQ(Value(Cpu.C), FromNibbles(expected));
                    ASSERT_EQ(Cpu.PShift, 4 * expectedP);
                    ASSERT_EQ(Cpu.PC, StepOrigin + 4);
                    ASSERT_EQ(Cpu.SliceCycles, 32u);
                }
            }
        }
    }
}

// The value saved in a register is cut to 20 bits; PC itself is not.
TEST(PointerTransfers, PcMovesWithRegisters)
{
    Machine m;
    for (bool decimal : {false, true}) {
        m.poke(0xFFFFE, "81"); // A=PC whose last nibbles fetch reads past the top
        m.Rom[0x100000] = 0xB;
        m.Rom[0x100001] = 0x4;
        SetValue(Cpu.A, 0xABCDEF0123400000);
        Cpu.PC = 0xFFFFE;
        Cpu.SliceCycles = 0;
        decimal ? korvane::SwitchToDecimal() : korvane::SwitchToHex();
        m.step();
        EXPECT_EQ(Cpu.PC, 0x100002u);
        EXPECT_EQ(Value(Cpu.A), 0xABCDEF0123400002u);

        SetValue(Cpu.A, 0x7000000000000456);
        m.poke(0x123, "81B6"); // APCEX
        Cpu.PC = 0x123;
        m.step();
        EXPECT_EQ(Cpu.PC, 0x456u);
        EXPECT_EQ(Value(Cpu.A), 0x7000000000000127u);
        EXPECT_EQ(Cpu.SliceCycles, 44u + 76u);

        SetValue(Cpu.C, 0x55555555555FEDCB);
        StepIn(m, "81B3", decimal); // PC=C
        EXPECT_EQ(Cpu.PC, 0xFEDCBu);
    }
}

unsigned HookCalls;
uint32_t HookCode;

uint32_t RecordHook(uint32_t code)
{
    ++HookCalls;
    HookCode = code;
    return 0;
}

// The stored address is read like code: the I/O window lying over it does
// not answer, the checksum does not move, a tag on a nibble is no part of it.
TEST(PointerTransfers, JumpsThroughMemoryReadTheFetchMap)
{
    Machine m;
    KVMemoryConfig(0x00100);
    m.poke(0x00110, "00108");
    m.Rom[0x00112] |= 0x10;
    KVSetDebuggingHackHandler(&RecordHook);
    for (bool decimal : {false, true}) {
        HookCalls = 0;
        HookCode = 99;
        korvane::CrcRegister = 0x1234;
        SetValue(Cpu.A, 0x00110);
        StepIn(m, "808C", decimal); // PC=(A)
        EXPECT_EQ(Cpu.PC, 0x80100u);
        EXPECT_EQ(Cpu.SliceCycles, 104u);
        EXPECT_EQ(HookCalls, 1u);
        EXPECT_EQ(HookCode, 0u);
        SetValue(Cpu.C, 0x00110);
        StepIn(m, "808E", decimal); // PC=(C) calls no hook
        EXPECT_EQ(Cpu.PC, 0x80100u);
        EXPECT_EQ(HookCalls, 1u);
        EXPECT_EQ(korvane::CrcRegister, 0x1234u);
    }
}

// Five nibbles from a page buffer's last two continue into the slack lent
// behind it, not into the next page's module.
TEST(PointerTransfers, JumpThroughMemoryAtTheEndOfABuffer)
{
    Machine m;
    std::vector<uint8_t> ram = NibbleBuffer(0x1000);
    for (uint8_t nibble = 1; nibble <= 5; ++nibble)
        ram[0xFFD + nibble] = nibble;
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFF);
    for (uint32_t value : {0x00100u, 0xFF000u, 0x70000u}) // I/O, then RAM's size and base
        KVMemoryConfig(value);
    m.poke(0x71000, "999");
    SetValue(Cpu.A, 0x70FFE);
    korvane::CrcRegister = 0x1234;
    StepIn(m, "808C", false);
    EXPECT_EQ(Cpu.PC, 0x54321u);
    EXPECT_EQ(korvane::CrcRegister, 0x1234u);
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

// LA with every count from every P against the nibble model.
void CheckLoadAddress(bool decimal)
{
    Machine m;
    std::mt19937_64 random(11);
    for (unsigned p = 0; p < 16; ++p) {
        for (unsigned count = 1; count <= 16; ++count) {
            const uint64_t a = random();
            const uint64_t constant = random();
            SetValue(Cpu.A, a);
            korvane::SetP(static_cast<uint8_t>(p));
            std::string opcode = std::string("8082") + Digits[count - 1];
            NibbleArray expected = ToNibbles(a);
            for (unsigned i = 0; i < count; ++i) {
                opcode += Digits[(constant >> (4 * i)) & 15];
                expected[(p + i) % 16] = (constant >> (4 * i)) & 15;
            }
            StepIn(m, opcode, decimal);
            SCOPED_TRACE("P=" + std::to_string(p) + " count=" + std::to_string(count));
            ASSERT_EQ(Value(Cpu.A), FromNibbles(expected));
            ASSERT_EQ(Cpu.P, p);
            ASSERT_EQ(Cpu.PC, StepOrigin + 5 + count);
            ASSERT_EQ(Cpu.SliceCycles, 20 + 4 * count);
        }
    }
}

TEST(PointerTransfers, LoadAddressDecimal)
{
    CheckLoadAddress(true);
}

TEST(PointerTransfers, LoadAddressHexadecimal)
{
    CheckLoadAddress(false);
}

} // namespace
