#include <gtest/gtest.h>

#include "engine/core/cpu_state.h"
#include "tests/engine/decode/live_form.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;
using test::Program;
using namespace decode_test;

namespace {

uint64_t Scratch(unsigned n)
{
    return uint64_t{Cpu.R[n].High} << 32 | Cpu.R[n].Low;
}

TEST(ScratchTransfers, EveryOpcodeMatchesTheModelInBothModes)
{
    Machine m;
    std::mt19937_64 rng(0x1234);
    korvane::NibbleRegister* const regs[4] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    for (bool decimal : {false, true}) {
        if (decimal)
            korvane::SwitchToDecimal();
        for (unsigned g = 0; g < 3; ++g) {
            for (unsigned x = 0; x < 16; ++x) {
                SCOPED_TRACE(::testing::Message() << "decimal " << decimal << " opcode 1" << g << std::hex << x);
                uint64_t model[4];
                std::array<uint8_t, 16> stale[4];
                for (unsigned r = 0; r < 4; ++r) {
                    model[r] = rng();
                    SetLive(*regs[r], FromValue(model[r]));
                    stale[r] = Stale(*regs[r]);
                }
                uint64_t scratch[8];
                for (unsigned n = 0; n < 8; ++n) {
                    scratch[n] = rng();
                    Cpu.R[n] = {static_cast<uint32_t>(scratch[n]), static_cast<uint32_t>(scratch[n] >> 32)};
                }
                Cpu.Carry = x & 1;

                Program p(0x00300);
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
                    EXPECT_EQ(ToValue(Live(*regs[r])), model[r]) << "register " << "ABCD"[r];
                    EXPECT_EQ(Stale(*regs[r]), stale[r]) << "register " << "ABCD"[r];
                }
                for (unsigned k = 0; k < 8; ++k)
                    EXPECT_EQ(Scratch(k), scratch[k]) << "R" << k;
                EXPECT_EQ(Cpu.PC, 0x00303u);
                EXPECT_EQ(Cpu.SliceCycles, 82u);
                EXPECT_EQ(Cpu.Carry, x & 1);
            }
        }
    }
}

// The scratch registers hold the same packed value whichever mode wrote them.
TEST(ScratchTransfers, ValuesCrossBetweenModesAndExchangeTwiceRestores)
{
    Machine m;
    Program p(0x00100);
    p.setdec().op("100").op("128").op("128").sethex().op("118");
    m.load(p);
    test::SetValue(Cpu.A, 0xFEDCBA9876543210);
    test::SetValue(Cpu.C, 0x0123456789ABCDEF);
    Cpu.R[0] = {0x55555555, 0xAAAAAAAA};
    m.step(3);
    EXPECT_EQ(Scratch(0), 0x0123456789ABCDEFu); // CR0EX put C's packed value in R0
    EXPECT_EQ(test::Value(Cpu.C), 0xFEDCBA9876543210u);
    m.step(1);
    EXPECT_EQ(Scratch(0), 0xFEDCBA9876543210u);
    EXPECT_EQ(test::Value(Cpu.C), 0x0123456789ABCDEFu);
    m.step(2);
    EXPECT_EQ(Cpu.DecimalMode, 0);
    EXPECT_EQ(test::Value(Cpu.C), 0xFEDCBA9876543210u);
}

} // namespace
