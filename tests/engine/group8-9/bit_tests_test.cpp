// ?ABIT=0, ?ABIT=1, ?CBIT=0 and ?CBIT=1 (8086n, 8087n, 808An, 808Bn).
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/branch_check.h"
#include "tests/engine/group8-9/register_model.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;

namespace {

TEST(BitTests, EveryBitOfAAndCInBothModes)
{
    const uint64_t values[] = {0, 0xFFFFFFFFFFFFFFFF, 0x8000, 0x0001, 0xA5C3, 0xFFFFFFFFFFFF0000, 0x123456789ABC5A3C};
    Machine m;
    for (bool decimal : {false, true}) {
        test::EnterMode(decimal);
        for (uint64_t value : values) {
            for (unsigned n = 0; n < 16; ++n) {
                const bool set = (value >> n) & 1;
                struct Kind {
                    char Nibble;
                    bool OnC;
                    bool WantSet;
                };
                const Kind kinds[] = {{'6', false, false}, {'7', false, true}, {'A', true, false}, {'B', true, true}};
                for (const Kind& k : kinds) {
                    char opcode[6];
                    std::snprintf(opcode, sizeof opcode, "808%c%X", k.Nibble, n);
                    test::PlaceTest(m, opcode);
                    // The register not tested holds the complement, so a
                    // handler that reads the wrong one is caught.
                    test::LoadLive(Cpu.A, k.OnC ? ~value : value, decimal);
                    test::LoadLive(Cpu.C, k.OnC ? value : ~value, decimal);
                    EXPECT_EQ(test::StepAndCompare(m, 5, set == k.WantSet, 50), "")
                        << opcode << " " << test::Hex(value) << (decimal ? " dec" : " hex");
                    EXPECT_EQ(test::LiveOf(k.OnC ? Cpu.C : Cpu.A, decimal), value);
                }
            }
        }
    }
}

TEST(BitTests, RtnyesAfterTheFiveOpcodeNibbles)
{
    Machine m;
    test::Program p(0x01000);
    p.op("8087F").rtnyes(); // ?ABIT=1 15
    m.load(p);
    test::LoadLive(Cpu.A, 0x8000, false);
    Cpu.RSTK[0] = 0x54321;
    Cpu.RstkIndex = 1;
    m.step();
    EXPECT_EQ(Cpu.PC, 0x54321u);
    EXPECT_EQ(Cpu.SliceCycles, 82u);
    EXPECT_EQ(Cpu.Carry, 1);
}

} // namespace
