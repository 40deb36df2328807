// ?HST=0 n, ?ST=0 n, ?ST=1 n, ?P# n and ?P= n over every n, in both modes.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/register_model.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;
using test::Program;

namespace {

// Runs opcode 8mn with offset 0x10 at 0x01000 and checks the outcome: a
// taken test lands at 0x01013 for 62 or 66 cycles, a failed one at 0x01005.
void ExpectTest(Machine& m, unsigned second, unsigned n, bool expected, uint32_t baseCost)
{
    char opcode[8];
    std::snprintf(opcode, sizeof opcode, "8%X%X01", second, n);
    SCOPED_TRACE(opcode);
    Program p(0x01000);
    p.op(opcode);
    m.load(p);
    Cpu.Carry = expected ? 0 : 1;
    Cpu.SliceCycles = 0;
    m.step();
    EXPECT_EQ(Cpu.Carry, expected ? 1 : 0);
    EXPECT_EQ(Cpu.PC, expected ? 0x01013u : 0x01005u);
    EXPECT_EQ(Cpu.SliceCycles, baseCost + (expected ? 32u : 0u));
}

TEST(StatusTests, HstZeroHoldsWhenNoneOfTheMaskedBitsIsSet)
{
    for (bool decimal : {false, true}) {
        Machine m;
        test::EnterMode(decimal);
        for (unsigned hst = 0; hst < 16; ++hst) {
            for (unsigned n = 0; n < 16; ++n) {
                Cpu.HST = static_cast<uint8_t>(hst);
                bool none = true;
                for (unsigned bit = 0; bit < 4; ++bit)
                    none = none && !((hst >> bit & 1) && (n >> bit & 1));
                ExpectTest(m, 0x3, n, none, 30);
                EXPECT_EQ(Cpu.HST, hst);
            }
        }
    }
}

TEST(StatusTests, HstZeroExamples)
{
    Machine m;
    Cpu.HST = korvane::HstXM | korvane::HstSB | korvane::HstSR;
    ExpectTest(m, 0x3, 0x8, true, 30); // MP alone is clear
    ExpectTest(m, 0x3, 0xF, false, 30);
    ExpectTest(m, 0x3, 0x0, true, 30); // the empty mask always holds
    Cpu.HST = 0;
    ExpectTest(m, 0x3, 0xF, true, 30);
}

TEST(StatusTests, StatusBitsReachAllSixteenBits)
{
    const uint16_t patterns[] = {0x0000, 0xFFFF, 0x8000, 0x0001, 0xA5C3, 0x1000};
    for (bool decimal : {false, true}) {
        Machine m;
        test::EnterMode(decimal);
        for (uint16_t st : patterns) {
            for (unsigned n = 0; n < 16; ++n) {
                Cpu.ST = st;
                const bool set = (st & (1u << n)) != 0;
                ExpectTest(m, 0x6, n, !set, 34); // ?ST=0 n
                ExpectTest(m, 0x7, n, set, 34);  // ?ST=1 n
                EXPECT_EQ(Cpu.ST, st);
            }
        }
    }
}

TEST(StatusTests, PointerTestsAreOppositesOverEveryPair)
{
    for (bool decimal : {false, true}) {
        Machine m;
        test::EnterMode(decimal);
        for (unsigned p = 0; p < 16; ++p) {
            for (unsigned n = 0; n < 16; ++n) {
                korvane::SetP(static_cast<uint8_t>(p));
                ExpectTest(m, 0x8, n, p != n, 30); // ?P# n
                ExpectTest(m, 0x9, n, p == n, 30); // ?P= n
                EXPECT_EQ(Cpu.P, p);
            }
        }
    }
}

} // namespace
