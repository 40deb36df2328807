#include <gtest/gtest.h>

#include "tests/engine/decode/live_form.h"

using korvane::Cpu;
using namespace decode_test;

namespace {

uint32_t& Pointer(bool d1)
{
    return d1 ? Cpu.D1 : Cpu.D0;
}

TEST(DataPointers, AddAndSubtractWrapAt20BitsWithCarry)
{
    const char* const opcodes[4] = {"16", "17", "18", "1C"}; // D0+, D1+, D0-, D1-
    test::Machine m;
    std::mt19937_64 rng(0x16);
    for (unsigned kind = 0; kind < 8; ++kind) {
        SetMode(kind >= 4);
        for (unsigned x = 0; x < 16; ++x) {
            for (uint32_t start : {0x00000u, 0xFFFFFu, 0xFFFF0u, 0xFFFEFu, 0x00010u, uint32_t(rng() & 0xFFFFF)}) {
                SCOPED_TRACE(::testing::Message() << opcodes[kind % 4] << x << " from " << std::hex << start);
                const bool d1 = kind & 1;
                const int64_t sum = kind % 4 < 2 ? int64_t{start} + x + 1 : int64_t{start} - x - 1;
                const uint8_t carry = sum < 0 || sum > 0xFFFFF;
                const uint32_t other = rng() & 0xFFFFF;
                Pointer(d1) = start;
                Pointer(!d1) = other;
                Cpu.Carry = !carry; // it must be written either way

                test::Program p(0x00400);
                p.op(opcodes[kind % 4]).imm(x, 1);
                RunOne(m, p);

                EXPECT_EQ(Pointer(d1), static_cast<uint32_t>(sum & 0xFFFFF));
                EXPECT_EQ(Pointer(!d1), other);
                EXPECT_EQ(Cpu.Carry, carry);
                EXPECT_EQ(Cpu.PC, 0x00403u);
                EXPECT_EQ(Cpu.SliceCycles, 34u);
            }
        }
    }
}

TEST(DataPointers, TransfersWithAAndCMatchTheModelInBothModes)
{
    korvane::NibbleRegister* const regs[4] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    test::Machine m;
    std::mt19937_64 rng(0x13);
    for (unsigned round = 0; round < 256; ++round) {
        const unsigned x = round % 16;
        SetMode(round & 16);
        SCOPED_TRACE(::testing::Message() << "decimal " << Cpu.DecimalMode + 0 << " opcode 13" << std::hex << x);
        Nibbles model[4];
        for (unsigned r = 0; r < 4; ++r)
            SetLive(*regs[r], model[r] = FromValue(rng()));
        uint32_t pointers[2] = {uint32_t(rng() & 0xFFFFF), uint32_t(rng() & 0xFFFFF)};
        Cpu.D0 = pointers[0];
        Cpu.D1 = pointers[1];
        Cpu.Carry = round & 1;

        test::Program p(0x00500);
        p.op("13").imm(x, 1);
        RunOne(m, p);

        // x: bit 0 D1, bit 1 exchange, bit 2 C, bit 3 four nibbles (the pointer's nibble 4 stays).
        Nibbles& reg = model[x & 4 ? 2 : 0];
        uint32_t& ptr = pointers[x & 1];
        const unsigned count = x & 8 ? 4 : 5;
        for (unsigned k = 0; k < count; ++k) {
            const uint8_t fromPointer = (ptr >> (4 * k)) & 15;
            ptr = (ptr & ~(0xFu << (4 * k))) | uint32_t{reg[k]} << (4 * k);
            if (x & 2)
                reg[k] = fromPointer;
        }
        for (unsigned r = 0; r < 4; ++r) {
            EXPECT_EQ(Live(*regs[r]), model[r]) << "register " << "ABCD"[r];
            EXPECT_TRUE(StaleIntact(*regs[r])) << "register " << "ABCD"[r];
        }
        EXPECT_EQ(Cpu.D0, pointers[0]);
        EXPECT_EQ(Cpu.D1, pointers[1]);
        EXPECT_EQ(Cpu.Carry, round & 1);
        EXPECT_EQ(Cpu.PC, 0x00503u);
        EXPECT_EQ(Cpu.SliceCycles, count == 4 ? 34u : 38u);
    }
}

TEST(DataPointers, ImmediateLoadsReplaceOnlyTheirNibbles)
{
    struct Case {
        const char* Opcode;
        unsigned Count;
        uint32_t Cost;
    } const cases[6] = {{"19", 2, 24}, {"1A", 4, 36}, {"1B", 5, 46}, {"1D", 2, 24}, {"1E", 4, 36}, {"1F", 5, 46}};
    test::Machine m;
    std::mt19937_64 rng(0x19);
    for (unsigned round = 0; round < 192; ++round) {
        const Case& c = cases[round % 6];
        const bool d1 = round % 6 >= 3;
        SetMode(round & 1);
        const uint32_t start = rng() & 0xFFFFF, other = rng() & 0xFFFFF;
        const uint32_t low = (1u << (4 * c.Count)) - 1, operand = rng() & low;
        Pointer(d1) = start;
        Pointer(!d1) = other;
        Cpu.Carry = round & 2 ? 1 : 0;

        test::Program p(0x00600);
        p.op(c.Opcode).imm(operand, c.Count);
        RunOne(m, p, 0x00602 + static_cast<uint32_t>(rng() % c.Count)); // operands are read without the tag

        EXPECT_EQ(Pointer(d1), (start & ~low & 0xFFFFF) | operand) << c.Opcode;
        EXPECT_EQ(Pointer(!d1), other);
        EXPECT_EQ(Cpu.Carry, round & 2 ? 1 : 0);
        EXPECT_EQ(Cpu.PC, 0x00602u + c.Count);
        EXPECT_EQ(Cpu.SliceCycles, c.Cost);
    }
}

} // namespace
