#include <gtest/gtest.h>

#include "tests/engine/decode/live_form.h"

using korvane::Cpu;
using namespace decode_test;

namespace {

// P=p then LC: every start nibble and count, one operand nibble tagged.
TEST(Loads, PEqualsAndLcFromNibblePWrappingInBothModes)
{
    test::Machine m;
    std::mt19937_64 rng(0x3);
    for (unsigned round = 0; round < 512; ++round) {
        const unsigned p = round % 16, n = round / 16 % 16 + 1;
        SetMode(round >= 256);
        SCOPED_TRACE(::testing::Message() << "decimal " << Cpu.DecimalMode + 0 << " P " << p << " N " << n);
        Nibbles model = FromValue(rng());
        SetLive(Cpu.C, model);
        korvane::SetP(static_cast<uint8_t>(15 - p));
        Cpu.Carry = round & 1;
        const uint64_t operand = rng();

        test::Program prog(0x00200);
        prog.p(p).lc(n, operand).imm(rng(), 16); // what follows must not reach C
        RunOne(m, prog);
        EXPECT_EQ(Cpu.P, p);
        EXPECT_EQ(Cpu.PShift, 4 * p);
        EXPECT_EQ(Cpu.PC, 0x00202u);
        EXPECT_EQ(Cpu.SliceCycles, 12u);

        const uint32_t tagged = 0x00204 + static_cast<uint32_t>(rng() % n);
        m.Rom[tagged] |= korvane::BreakpointTag; // operands are read without the tag
        Cpu.SliceCycles = 0;
        m.step();
        m.Rom[tagged] &= 0x0F;
        for (unsigned i = 0; i < n; ++i)
            model[(p + i) % 16] = (operand >> (4 * i)) & 15;
        EXPECT_EQ(Live(Cpu.C), model);
        EXPECT_TRUE(StaleIntact(Cpu.C));
        EXPECT_EQ(Cpu.P, p);
        EXPECT_EQ(Cpu.Carry, round & 1);
        EXPECT_EQ(Cpu.PC, 0x00204u + n);
        EXPECT_EQ(Cpu.SliceCycles, 12 + 4 * n);
    }
}

} // namespace
