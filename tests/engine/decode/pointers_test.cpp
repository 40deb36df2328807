#include <gtest/gtest.h>

#include <cstdint>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "tests/engine/decode/live_form.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;
using test::Program;
using namespace decode_test;

namespace {

void SetMode(bool decimal)
{
    if (decimal)
        korvane::SwitchToDecimal();
    else
        korvane::SwitchToHex();
}

TEST(DataPointers, AddAndSubtractWrapAt20BitsWithCarry)
{
    Machine m;
    std::mt19937_64 rng(0x16);
    const char* const opcodes[4] = {"16", "17", "18", "1C"}; // D0+, D1+, D0-, D1-
    for (bool decimal : {false, true}) {
        SetMode(decimal);
        for (unsigned kind = 0; kind < 4; ++kind) {
            for (unsigned x = 0; x < 16; ++x) {
                for (uint32_t start : {0x00000u, 0xFFFFFu, 0xFFFF0u, 0xFFFEFu, 0x00010u,
                                       static_cast<uint32_t>(rng() & 0xFFFFF)}) {
                    SCOPED_TRACE(::testing::Message() << opcodes[kind] << x << " from " << std::hex << start);
                    const bool d1 = kind & 1;
                    const int64_t k = x + 1;
                    const int64_t sum = kind < 2 ? int64_t{start} + k : int64_t{start} - k;
                    const uint8_t carry = sum < 0 || sum > 0xFFFFF;
                    const uint32_t other = static_cast<uint32_t>(rng() & 0xFFFFF);
                    Cpu.D0 = d1 ? other : start;
                    Cpu.D1 = d1 ? start : other;
                    Cpu.Carry = !carry; // the instruction must write it either way

                    Program p(0x00400);
                    p.op(opcodes[kind]).imm(x, 1);
                    RunOne(m, p);

                    EXPECT_EQ(d1 ? Cpu.D1 : Cpu.D0, static_cast<uint32_t>(sum & 0xFFFFF));
                    EXPECT_EQ(d1 ? Cpu.D0 : Cpu.D1, other);
                    EXPECT_EQ(Cpu.Carry, carry);
                    EXPECT_EQ(Cpu.PC, 0x00403u);
                    EXPECT_EQ(Cpu.SliceCycles, 34u);
                }
            }
        }
    }
}

TEST(DataPointers, TransfersWithAAndCMatchTheModelInBothModes)
{
    Machine m;
    std::mt19937_64 rng(0x13);
    korvane::NibbleRegister* const regs[4] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    for (bool decimal : {false, true}) {
        SetMode(decimal);
        for (unsigned x = 0; x < 16; ++x) {
            for (int round = 0; round < 8; ++round) {
                SCOPED_TRACE(::testing::Message() << "decimal " << decimal << " opcode 13" << std::hex << x);
                Nibbles model[4];
                std::array<uint8_t, 16> stale[4];
                for (unsigned r = 0; r < 4; ++r) {
                    model[r] = RandomNibbles(rng);
                    SetLive(*regs[r], model[r]);
                    stale[r] = Stale(*regs[r]);
                }
                uint32_t pointers[2] = {static_cast<uint32_t>(rng() & 0xFFFFF), static_cast<uint32_t>(rng() & 0xFFFFF)};
                Cpu.D0 = pointers[0];
                Cpu.D1 = pointers[1];
                const uint8_t carry = rng() & 1;
                Cpu.Carry = carry;

                Program p(0x00500);
                p.op("13").imm(x, 1);
                RunOne(m, p);

                // x: bit 0 D1, bit 1 exchange, bit 2 C, bit 3 four nibbles.
                Nibbles& reg = model[x & 4 ? 2 : 0];
                uint32_t& ptr = pointers[x & 1];
                const unsigned count = x & 8 ? 4 : 5;
                for (unsigned k = 0; k < count; ++k) {
                    const uint8_t fromPtr = (ptr >> (4 * k)) & 15;
                    ptr = (ptr & ~(0xFu << (4 * k))) | uint32_t{reg[k]} << (4 * k);
                    if (x & 2)
                        reg[k] = fromPtr;
                }
                for (unsigned r = 0; r < 4; ++r) {
                    EXPECT_EQ(Live(*regs[r]), model[r]) << "register " << "ABCD"[r];
                    EXPECT_EQ(Stale(*regs[r]), stale[r]) << "register " << "ABCD"[r];
                }
                EXPECT_EQ(Cpu.D0, pointers[0]);
                EXPECT_EQ(Cpu.D1, pointers[1]);
                EXPECT_EQ(Cpu.Carry, carry);
                EXPECT_EQ(Cpu.PC, 0x00503u);
                EXPECT_EQ(Cpu.SliceCycles, count == 4 ? 34u : 38u);
            }
        }
    }
}

TEST(DataPointers, HandWorkedExchangesOfFiveAndFourNibbles)
{
    for (bool decimal : {false, true}) {
        Machine m;
        SetMode(decimal);
        Program p(0x00100);
        p.op("132").op("132").op("13A");
        m.load(p);
        test::SetValue(Cpu.A, 0x0000000000BCDEF0); // nibbles 0-5: 0, F, E, D, C, B
        Cpu.D0 = 0x54321;
        m.step();
        EXPECT_EQ(test::Value(Cpu.A), 0x0000000000B54321u); // AD0EX
        EXPECT_EQ(Cpu.D0, 0xCDEF0u);
        m.step();
        m.step();
        EXPECT_EQ(test::Value(Cpu.A), 0x0000000000BC4321u); // AD0XS: each side keeps its nibble 4
        EXPECT_EQ(Cpu.D0, 0x5DEF0u);
    }
}

TEST(DataPointers, ImmediateLoadsReplaceOnlyTheirNibbles)
{
    struct Case {
        const char* Opcode;
        bool D1;
        unsigned Count;
        uint32_t Cost;
    };
    const Case cases[] = {{"19", false, 2, 24}, {"1A", false, 4, 36}, {"1B", false, 5, 46},
                          {"1D", true, 2, 24},  {"1E", true, 4, 36},  {"1F", true, 5, 46}};
    Machine m;
    std::mt19937_64 rng(0x19);
    for (bool decimal : {false, true}) {
        SetMode(decimal);
        for (const Case& c : cases) {
            for (int round = 0; round < 32; ++round) {
                SCOPED_TRACE(::testing::Message() << c.Opcode << " round " << round);
                const uint32_t start = rng() & 0xFFFFF;
                const uint32_t other = rng() & 0xFFFFF;
                const uint32_t operand = rng() & ((1u << (4 * c.Count)) - 1);
                Cpu.D0 = c.D1 ? other : start;
                Cpu.D1 = c.D1 ? start : other;
                Cpu.Carry = round & 1;

                Program p(0x00600);
                p.op(c.Opcode).imm(operand, c.Count);
                m.place(p);
                const uint32_t tagged = 0x00602 + (rng() % c.Count);
                m.Rom[tagged] |= korvane::BreakpointTag; // operands are read without the tag
                Cpu.PC = p.origin();
                Cpu.SliceCycles = 0;
                m.step();
                m.Rom[tagged] &= 0x0F;

                const uint32_t low = (1u << (4 * c.Count)) - 1;
                EXPECT_EQ(c.D1 ? Cpu.D1 : Cpu.D0, (start & ~low & 0xFFFFF) | operand);
                EXPECT_EQ(c.D1 ? Cpu.D0 : Cpu.D1, other);
                EXPECT_EQ(Cpu.Carry, round & 1);
                EXPECT_EQ(Cpu.PC, 0x00602u + c.Count);
                EXPECT_EQ(Cpu.SliceCycles, c.Cost);
            }
        }
    }
}

} // namespace
