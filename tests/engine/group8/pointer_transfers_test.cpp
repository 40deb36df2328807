#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "engine/core/hooks.h"
#include "engine/core/memory.h"
#include "engine/decode/loads.h"
#include "tests/engine/group8/single_step.h"

using korvane::Cpu;
using namespace test;

namespace {

const char* const Digits = "0123456789ABCDEF";

TEST(PointerTransfers, CAndPNibbleMovesOnEveryNibbleAndEveryP)
{
    Machine m;
    std::mt19937_64 random(7);
    for (bool decimal : {false, true}) {
        for (unsigned n = 0; n < 16; ++n) {
            for (unsigned p = 0; p < 16; ++p) {
                for (char kind : {'C', 'D', 'F'}) { // C=P n, P=C n, CPEX n
                    const uint64_t c = random();
                    SetValue(Cpu.C, c);
                    Cpu.Carry = 1;
                    korvane::SetP(static_cast<uint8_t>(p));
                    StepIn(m, std::string("80") + kind + Digits[n], decimal);
                    NibbleArray expected = ToNibbles(c);
                    unsigned expectedP = p;
                    if (kind != 'D')
                        expected[n] = static_cast<uint8_t>(p);
                    if (kind != 'C')
                        expectedP = ToNibbles(c)[n];
                    SCOPED_TRACE(std::string("80") + kind + Digits[n] + " P=" + std::to_string(p));
                    ASSERT_EQ(Value(Cpu.C), FromNibbles(expected));
                    ASSERT_EQ(Cpu.P, expectedP);
                    ASSERT_EQ(Cpu.PShift, 4 * expectedP);
                    ASSERT_EQ(Cpu.Carry, 1);
                    ASSERT_EQ(Cpu.PC, StepOrigin + 4);
                    ASSERT_EQ(Cpu.SliceCycles, 32u);
                }
            }
        }
    }
}

// The saved address is cut to 20 bits, PC itself is not.
TEST(PointerTransfers, PcMovesWithRegisters)
{
    Machine m;
    for (bool decimal : {false, true}) {
        // A=PC two nibbles below the top: fetch reads the opcode's last two
        // nibbles from the bytes past the address space's end.
        m.poke(0xFFFFE, "81");
        m.Rom[0x100000] = 0xB;
        m.Rom[0x100001] = 0x4;
        SetValue(Cpu.A, 0xABCDEF0123400000);
        Cpu.PC = 0xFFFFE;
        Cpu.SliceCycles = 0;
        decimal ? korvane::SwitchToDecimal() : korvane::SwitchToHex();
        m.step();
        EXPECT_EQ(Cpu.PC, 0x100002u);
        EXPECT_EQ(Value(Cpu.A), 0xABCDEF0123400002u);
        EXPECT_EQ(Cpu.SliceCycles, 44u);

        SetValue(Cpu.A, 0x7000000000000456);
        m.poke(0x123, "81B6"); // APCEX
        Cpu.PC = 0x123;
        Cpu.SliceCycles = 0;
        m.step();
        EXPECT_EQ(Cpu.PC, 0x456u);
        EXPECT_EQ(Value(Cpu.A), 0x7000000000000127u);
        EXPECT_EQ(Cpu.SliceCycles, 76u);

        SetValue(Cpu.C, 0x00000000002FEDCB);
        StepIn(m, "81B3", decimal); // PC=C
        EXPECT_EQ(Cpu.PC, 0xFEDCBu);
        SetValue(Cpu.C, 0x55555555555AAAAA);
        StepIn(m, "81B5", decimal); // C=PC
        EXPECT_EQ(Value(Cpu.C), 0x5555555555500104u);
    }
}

uint32_t HookCodes[4];
uint32_t HookPcs[4];
unsigned HookCalls;

uint32_t RecordHook(uint32_t code)
{
    if (HookCalls < 4) {
        HookCodes[HookCalls] = code;
        HookPcs[HookCalls] = Cpu.PC;
    }
    ++HookCalls;
    return 0;
}

// The stored address is read like code: the I/O window does not answer and
// the checksum does not move; a tag on a stored nibble is no part of it.
TEST(PointerTransfers, JumpsThroughMemoryReadTheFetchMap)
{
    Machine m;
    KVMemoryConfig(0x00100); // the I/O window over the ROM's first page
    m.poke(0x00110, "00108");
    m.Rom[0x00112] |= 0x10;
    KVSetDebuggingHackHandler(&RecordHook);
    for (bool decimal : {false, true}) {
        HookCalls = 0;
        korvane::CrcRegister = 0x1234;
        SetValue(Cpu.A, 0x00110);
        StepIn(m, "808C", decimal); // PC=(A)
        EXPECT_EQ(Cpu.PC, 0x80100u);
        EXPECT_EQ(Cpu.SliceCycles, 104u);
        ASSERT_EQ(HookCalls, 1u);
        EXPECT_EQ(HookCodes[0], 0u);
        EXPECT_EQ(HookPcs[0], StepOrigin) << "the hook runs before the jump";

        SetValue(Cpu.C, 0x00110);
        StepIn(m, "808E", decimal); // PC=(C)
        EXPECT_EQ(Cpu.PC, 0x80100u);
        EXPECT_EQ(HookCalls, 1u) << "PC=(C) calls no hook";
        EXPECT_EQ(korvane::CrcRegister, 0x1234u);
    }
}

// Five nibbles from a page buffer's last two run into the slack behind it,
// never into another module's memory, and stay inside what was lent.
TEST(PointerTransfers, JumpThroughMemoryAtTheEndOfABuffer)
{
    Machine m;
    std::vector<uint8_t> ram = NibbleBuffer(0x1000);
    for (uint8_t nibble = 1; nibble <= 5; ++nibble)
        ram[0xFFE + nibble - 1] = nibble;
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFF);
    for (uint32_t value : {0x00100u, 0xFF000u, 0x70000u}) // I/O, then RAM size and base
        KVMemoryConfig(value);
    m.poke(0x71000, "999");
    SetValue(Cpu.A, 0x70FFE);
    StepIn(m, "808C", false);
    EXPECT_EQ(Cpu.PC, 0x54321u);
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

bool LoadersPresent()
{
    korvane::NibbleRegister r{};
    const uint8_t one[16] = {1};
    korvane::LoadNibblesTable[0](&r, one);
    return r.PackedLow == 1;
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
            Cpu.Carry = 0;
            std::string opcode = "8082";
            opcode += Digits[count - 1];
            for (unsigned i = 0; i < count; ++i)
                opcode += Digits[(constant >> (4 * i)) & 15];
            StepIn(m, opcode, decimal);
            NibbleArray expected = ToNibbles(a);
            for (unsigned i = 0; i < count; ++i)
                expected[(p + i) % 16] = (constant >> (4 * i)) & 15;
            SCOPED_TRACE("P=" + std::to_string(p) + " count=" + std::to_string(count));
            ASSERT_EQ(Value(Cpu.A), FromNibbles(expected));
            ASSERT_EQ(Cpu.P, p);
            ASSERT_EQ(Cpu.Carry, 0);
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
    if (!LoadersPresent())
        GTEST_SKIP() << "the nibble loaders shared with LC are not in this build";
    CheckLoadAddress(false);
}

} // namespace
