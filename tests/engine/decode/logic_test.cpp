#include <gtest/gtest.h>

#include <utility>

#include "tests/engine/decode/live_form.h"

using korvane::Cpu;
using namespace decode_test;

namespace {

// Lowest and highest nibble of field code f (8-F: field A) with pointer p.
std::pair<unsigned, unsigned> FieldRange(unsigned f, unsigned p)
{
    constexpr unsigned Fixed[8][2] = {{0, 0}, {0, 0}, {2, 2}, {0, 2}, {15, 15}, {3, 14}, {0, 1}, {0, 15}};
    if (f == 0)
        return {p, p}; // P
    if (f == 1)
        return {0, p}; // WP
    return f >= 8 ? std::pair{0u, 4u} : std::pair{Fixed[f][0], Fixed[f][1]};
}

TEST(AndOr, EveryFieldAndOperationMatchesANibbleModelInBothModes)
{
    // (r, s) by o & 3; o 4-7 and C-F swap them; o 8-F is OR.
    constexpr unsigned Pair[4][2] = {{0, 1}, {1, 2}, {2, 0}, {3, 2}};
    korvane::NibbleRegister* const regs[4] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    test::Machine m;
    std::mt19937_64 rng(0x0E0E);
    for (bool decimal : {false, true}) {
        SetMode(decimal);
        for (unsigned p : {0u, 7u, 8u, 15u}) {
            for (unsigned f = 0; f < 16; ++f) {
                for (unsigned o = 0; o < 16; ++o) {
                    SCOPED_TRACE(::testing::Message() << "decimal " << decimal << " P " << p << " 0E" << std::hex
                                                      << f << o);
                    Nibbles model[4];
                    for (unsigned r = 0; r < 4; ++r)
                        SetLive(*regs[r], model[r] = FromValue(rng()));
                    korvane::SetP(static_cast<uint8_t>(p));
                    const uint8_t carry = rng() & 1;
                    Cpu.Carry = carry;

                    test::Program prog(0x00200);
                    prog.op("0E").imm(f, 1).imm(o, 1);
                    RunOne(m, prog, (f + o) % 3 == 0 ? 0x00203 : 0); // a tag on o must not change decoding

                    const unsigned dst = Pair[o & 3][(o >> 2) & 1];
                    const unsigned src = Pair[o & 3][((o >> 2) & 1) ^ 1];
                    const auto [low, high] = FieldRange(f, p);
                    for (unsigned k = low; k <= high; ++k)
                        model[dst][k] = (o & 8) ? (model[dst][k] | model[src][k]) : (model[dst][k] & model[src][k]);
                    for (unsigned r = 0; r < 4; ++r) {
                        EXPECT_EQ(Live(*regs[r]), model[r]) << "register " << "ABCD"[r];
                        EXPECT_TRUE(StaleIntact(*regs[r])) << "register " << "ABCD"[r];
                    }
                    EXPECT_EQ(Cpu.PC, 0x00204u);
                    EXPECT_EQ(Cpu.SliceCycles, 24 + 4 * (high - low + 1));
                    EXPECT_EQ(Cpu.Carry, carry);
                }
            }
        }
    }
}

} // namespace
