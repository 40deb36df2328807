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
    uint32_t Code;
    uint32_t Pc;
    uint32_t Cycles;
    uint32_t RstkIndex;
};

std::vector<HookCall> HookCalls;

uint32_t RecordHook(uint32_t code)
{
    HookCalls.push_back({code, Cpu.PC, Cpu.SliceCycles, Cpu.RstkIndex});
    return 0;
}

TEST(TestBranchTail, GoyesCountsTheSignedOffsetFromTheOffsetField)
{
    struct Case {
        const char* Offset; // nibbles in memory order, low first
        uint32_t Target;
    };
    // The offset field of a test at 0x01000 stands at 0x01003.
    const Case cases[] = {
        {"20", 0x01005}, // just behind the instruction
        {"10", 0x01004},
        {"08", 0x00F83}, // 0x80: back 128
        {"F7", 0x01082}, // 0x7F: forward 127
        {"EF", 0x01001}, // -2
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Offset);
        Machine m;
        Cpu.Carry = 0;
        Program p(0x01000);
        p.op("830").op(c.Offset);
        m.load(p);
        m.step();
        EXPECT_EQ(Cpu.PC, c.Target);
        EXPECT_EQ(Cpu.Carry, 1);
        EXPECT_EQ(Cpu.SliceCycles, 62u);
        EXPECT_EQ(Cpu.RstkIndex, 0u);
    }
}

TEST(TestBranchTail, GoyesWrapsAtTwentyBits)
{
    Machine m;
    Program p(0xFFFFB); // the offset field starts at 0xFFFFE
    p.op("830").op("01");
    m.load(p);
    m.step();
    EXPECT_EQ(Cpu.PC, 0x0000Eu);

    Program back(0x00004); // offset field at 0x00007, 0x80 lands below zero
    back.op("830").op("08");
    m.load(back);
    m.step();
    EXPECT_EQ(Cpu.PC, 0xFFF87u);
}

TEST(TestBranchTail, NotTakenStepsOverTheOffsetWithoutLookingAtIt)
{
    Machine m;
    KVSetDebuggingHackHandler(&RecordHook);
    HookCalls.clear();
    Cpu.HST = korvane::HstXM;
    Cpu.Carry = 1;
    Cpu.RSTK[0] = 0x22222;
    Cpu.RstkIndex = 1;
    Program p(0x01000);
    p.op("831").rtnyes(); // offset 00 but the test fails: no return
    m.load(p);
    m.step();
    EXPECT_EQ(Cpu.PC, 0x01005u);
    EXPECT_EQ(Cpu.Carry, 0);
    EXPECT_EQ(Cpu.SliceCycles, 30u);
    EXPECT_EQ(Cpu.RstkIndex, 1u);
    EXPECT_EQ(Cpu.RSTK[0], 0x22222u);
    EXPECT_TRUE(HookCalls.empty());
}

TEST(TestBranchTail, RtnyesPopsTheRingAndTheHookSeesTheOffsetField)
{
    Machine m;
    KVSetDebuggingHackHandler(&RecordHook);
    HookCalls.clear();
    // Index 0 pops slot 7, which is cleared behind the pop.
    Cpu.RSTK[7] = 0x12345;
    Cpu.RstkIndex = 0;
    Cpu.SliceCycles = 1000;
    Program p(0x01000);
    p.op("830").rtnyes();
    m.load(p);
    m.step();
    EXPECT_EQ(Cpu.PC, 0x12345u);
    EXPECT_EQ(Cpu.RstkIndex, 7u);
    EXPECT_EQ(Cpu.RSTK[7], 0u);
    EXPECT_EQ(Cpu.Carry, 1);
    EXPECT_EQ(Cpu.SliceCycles, 1062u);
    ASSERT_EQ(HookCalls.size(), 1u);
    EXPECT_EQ(HookCalls[0].Code, 2u);
    EXPECT_EQ(HookCalls[0].Pc, 0x01003u);
    EXPECT_EQ(HookCalls[0].Cycles, 1032u); // the 32 of the branch, not yet the base
    EXPECT_EQ(HookCalls[0].RstkIndex, 0u);

    // GOYES never calls the hook.
    HookCalls.clear();
    Program jump(0x02000);
    jump.op("830").op("20");
    m.load(jump);
    m.step();
    EXPECT_TRUE(HookCalls.empty());
}

TEST(TestBranchTail, RtnyesKeepsAReturnAddressBeyondTwentyBits)
{
    Machine m;
    Cpu.RSTK[0] = korvane::StartSentinel;
    Cpu.RstkIndex = 1;
    Program p(0x01000);
    p.op("830").rtnyes();
    m.load(p);
    m.step();
    EXPECT_EQ(Cpu.PC, 0x100000u);
    EXPECT_EQ(Cpu.RstkIndex, 0u);
}

TEST(TestBranchTail, ATaggedOffsetNibbleStillJumpsByItsNibbleValue)
{
    Machine m;
    Program p(0x01000);
    p.op("830").op("20");
    m.load(p);
    m.Rom[0x01003] |= 0x10; // a stray tag on the offset's low nibble
    m.Rom[0x01004] |= 0x10;
    m.step();
    EXPECT_EQ(Cpu.PC, 0x01005u);
}

} // namespace
