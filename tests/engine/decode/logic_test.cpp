#include <gtest/gtest.h>

#include <utility>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "tests/engine/decode/live_form.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;
using test::Program;
using namespace decode_test;

namespace {

// Lowest and highest nibble of field code f (8-F: field A) with pointer p.
std::pair<unsigned, unsigned> FieldRange(unsigned f, unsigned p)
{
    switch (f) {
    case 0: return {p, p};   // P
    case 1: return {0, p};   // WP
    case 2: return {2, 2};   // XS
    case 3: return {0, 2};   // X
    case 4: return {15, 15}; // S
    case 5: return {3, 14};  // M
    case 6: return {0, 1};   // B
    case 7: return {0, 15};  // W
    default: return {0, 4};  // A
    }
}

korvane::NibbleRegister* const Regs[4] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};

void SetMode(bool decimal)
{
    if (decimal)
        korvane::SwitchToDecimal();
    else
        korvane::SwitchToHex();
}

TEST(AndOr, EveryFieldAndOperationMatchesANibbleModelInBothModes)
{
    // (r, s) by o & 3; o 4-7 and C-F swap them; o 8-F is OR.
    constexpr unsigned Pair[4][2] = {{0, 1}, {1, 2}, {2, 0}, {3, 2}};
    Machine m;
    std::mt19937_64 rng(0x0E0E);
    for (bool decimal : {false, true}) {
        SetMode(decimal);
        for (unsigned p : {0u, 7u, 8u, 15u}) {
            for (unsigned f = 0; f < 16; ++f) {
                for (unsigned o = 0; o < 16; ++o) {
                    SCOPED_TRACE(::testing::Message() << "decimal " << decimal << " P " << p << " 0E" << std::hex
                                                      << f << o);
                    Nibbles model[4];
                    std::array<uint8_t, 16> stale[4];
                    for (unsigned r = 0; r < 4; ++r) {
                        model[r] = RandomNibbles(rng);
                        SetLive(*Regs[r], model[r]);
                        stale[r] = Stale(*Regs[r]);
                    }
                    korvane::SetP(static_cast<uint8_t>(p));
                    const uint8_t carry = rng() & 1;
                    Cpu.Carry = carry;

                    Program prog(0x00200);
                    prog.op("0E").imm(f, 1).imm(o, 1);
                    m.place(prog);
                    if ((f + o) % 3 == 0)
                        m.Rom[0x00203] |= korvane::BreakpointTag; // decoding ignores a tag on the selector
                    Cpu.PC = prog.origin();
                    Cpu.SliceCycles = 0;
                    m.step();

                    const unsigned dst = Pair[o & 3][(o >> 2) & 1];
                    const unsigned src = Pair[o & 3][((o >> 2) & 1) ^ 1];
                    const auto [low, high] = FieldRange(f, p);
                    for (unsigned k = low; k <= high; ++k)
                        model[dst][k] = (o & 8) ? (model[dst][k] | model[src][k]) : (model[dst][k] & model[src][k]);
                    for (unsigned r = 0; r < 4; ++r) {
                        EXPECT_EQ(Live(*Regs[r]), model[r]) << "register " << "ABCD"[r];
                        EXPECT_EQ(Stale(*Regs[r]), stale[r]) << "register " << "ABCD"[r];
                    }
                    EXPECT_EQ(Cpu.PC, 0x00204u);
                    EXPECT_EQ(Cpu.SliceCycles, 24 + 4 * (high - low + 1));
                    EXPECT_EQ(Cpu.Carry, carry);
                    EXPECT_EQ(Cpu.P, p);
                }
            }
        }
    }
}

TEST(AndOr, HandWorkedFieldAAndWpAcrossTheWordSeam)
{
    Machine m;
    Program prog(0x00100);
    prog.op("0EF0"); // A=A&B on field A
    prog.op("0E1F"); // C=C!D on field WP
    m.load(prog);
    test::SetValue(Cpu.A, 0x123456789ABCDEF0);
    test::SetValue(Cpu.B, 0x0F0F0F0F0F0F0F0F);
    test::SetValue(Cpu.C, 0);
    test::SetValue(Cpu.D, 0xFFFFFFFFFFFFFFFF);
    korvane::SetP(9);
    m.step(2);
    EXPECT_EQ(test::Value(Cpu.A), 0x123456789ABC0E00u);
    EXPECT_EQ(test::Value(Cpu.C), 0x000000FFFFFFFFFFu);
    EXPECT_EQ(Cpu.SliceCycles, 44u + 64u);
}

} // namespace
