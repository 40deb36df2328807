#include <gtest/gtest.h>

#include "tests/engine/decode/live_form.h"

using korvane::Cpu;
using namespace decode_test;

namespace {

// The scratch registers are compared packed in both modes: a decimal-mode
// transfer must pack and unpack on the way.
TEST(ScratchTransfers, EveryOpcodeMatchesTheModelInBothModes)
{
    korvane::NibbleRegister* const regs[4] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    test::Machine m;
    std::mt19937_64 rng(0x1234);
    for (bool decimal : {false, true}) {
        SetMode(decimal);
        for (unsigned g = 0; g < 3; ++g) {
            for (unsigned x = 0; x < 16; ++x) {
                SCOPED_TRACE(::testing::Message() << "decimal " << decimal << " opcode 1" << g << std::hex << x);
                uint64_t model[4];
                for (unsigned r = 0; r < 4; ++r)
                    SetLive(*regs[r], FromValue(model[r] = rng()));
                uint64_t scratch[8];
                for (unsigned n = 0; n < 8; ++n) {
                    scratch[n] = rng();
                    Cpu.R[n] = {static_cast<uint32_t>(scratch[n]), static_cast<uint32_t>(scratch[n] >> 32)};
                }
                Cpu.Carry = x & 1;

                test::Program p(0x00300);
                p.op("1").imm(g, 1).imm(x, 1);
                RunOne(m, p);

                // Only five scratch registers: 5-7 name R1-R3 again.
                const unsigned w = x < 8 ? 0 : 2;
                const unsigned n = (x & 7) > 4 ? (x & 7) - 4 : (x & 7);
                const uint64_t held = scratch[n];
                if (g != 1)
                    scratch[n] = model[w];
                if (g != 0)
                    model[w] = held;
                for (unsigned r = 0; r < 4; ++r) {
                    EXPECT_EQ(Live(*regs[r]), FromValue(model[r])) << "register " << "ABCD"[r];
                    EXPECT_TRUE(StaleIntact(*regs[r])) << "register " << "ABCD"[r];
                }
                for (unsigned k = 0; k < 8; ++k)
                    EXPECT_EQ(uint64_t{Cpu.R[k].High} << 32 | Cpu.R[k].Low, scratch[k]) << "R" << k;
                EXPECT_EQ(Cpu.PC, 0x00303u);
                EXPECT_EQ(Cpu.SliceCycles, 82u);
                EXPECT_EQ(Cpu.Carry, x & 1);
            }
        }
    }
}

} // namespace
