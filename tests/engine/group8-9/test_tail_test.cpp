// The GOYES/RTNYES tail, driven through ?HST=0 0 (830), which always holds,
// and ?HST=0 1 (831), which fails while XM is set.
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/cpu_state.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;
using test::Program;

namespace {

struct HookCall {
    uint32_t Code, Pc, Cycles, RstkIndex;
};
std::vector<HookCall> HookCalls;

uint32_t RecordHook(uint32_t code)
{
    HookCalls.push_back({code, Cpu.PC, Cpu.SliceCycles, Cpu.RstkIndex});
    return 0;
}

TEST(TestBranchTail, GoyesCountsTheSignedOffsetFromTheOffsetFieldAndWraps)
{
    struct Case {
        uint32_t At;
        const char* Offset; // in memory order, low nibble first
        uint32_t Target;
        bool Tagged; // a stray breakpoint tag on both offset nibbles
    };
    const Case cases[] = {
        {0x01000, "20", 0x01005, false}, {0x01000, "10", 0x01004, false}, {0x01000, "08", 0x00F83, false},
        {0x01000, "F7", 0x01082, false}, {0xFFFFB, "01", 0x0000E, false}, {0x00004, "08", 0xFFF87, false},
        {0x01000, "20", 0x01005, true},
    };
    for (const Case& c : cases) {
        Machine m;
        Program p(c.At);
        p.op("830").op(c.Offset);
        m.load(p);
        if (c.Tagged) {
            m.Rom[c.At + 3] |= 0x10;
            m.Rom[c.At + 4] |= 0x10;
        }
        m.step();
        EXPECT_EQ(Cpu.PC, c.Target) << c.Offset << " at " << std::hex << c.At;
        EXPECT_EQ(Cpu.Carry, 1);
        EXPECT_EQ(Cpu.SliceCycles, 62u);
        EXPECT_EQ(Cpu.RstkIndex, 0u);
    }
}

TEST(TestBranchTail, RtnyesPopsUnmaskedAndTheHookSeesTheOffsetField)
{
    Machine m;
    KVSetDebuggingHackHandler(&RecordHook);
    HookCalls.clear();
    Cpu.RSTK[7] = korvane::StartSentinel; // index 0 pops slot 7
    Cpu.SliceCycles = 1000;
    Program p(0x01000);
    p.op("830").rtnyes();
    m.load(p);
    m.step();
    EXPECT_EQ(Cpu.PC, 0x100000u);
    EXPECT_EQ(Cpu.RstkIndex, 7u);
    EXPECT_EQ(Cpu.RSTK[7], 0u);
    EXPECT_EQ(Cpu.SliceCycles, 1062u);
    ASSERT_EQ(HookCalls.size(), 1u);
    EXPECT_EQ(HookCalls[0].Code, 2u);
    EXPECT_EQ(HookCalls[0].Pc, 0x01003u);
    EXPECT_EQ(HookCalls[0].Cycles, 1032u); // the taken 32, not yet the base
    EXPECT_EQ(HookCalls[0].RstkIndex, 0u);

    // A failed test with offset 00 steps over it: no pop, no hook.
    HookCalls.clear();
    Cpu.HST = korvane::HstXM;
    Program q(0x02000);
    q.op("831").rtnyes();
    m.load(q);
    m.step();
    EXPECT_EQ(Cpu.PC, 0x02005u);
    EXPECT_EQ(Cpu.Carry, 0);
    EXPECT_EQ(Cpu.RstkIndex, 7u);
    EXPECT_TRUE(HookCalls.empty());
}

} // namespace
