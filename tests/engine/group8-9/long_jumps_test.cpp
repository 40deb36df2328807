// GOLONG, GOVLNG, GOSUBL and GOSBVL: targets, wraps, pushes, hook order.
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/register_model.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;
using test::Program;

namespace {

struct HookCall {
    uint32_t Code;
    uint32_t Pc;
    uint32_t RstkIndex;
};

std::vector<HookCall> HookCalls;
uint32_t HookMovesPcBy = 0;

uint32_t RecordHook(uint32_t code)
{
    HookCalls.push_back({code, Cpu.PC, Cpu.RstkIndex});
    Cpu.PC += HookMovesPcBy;
    return 0;
}

void WatchHook(uint32_t movePcBy = 0)
{
    HookCalls.clear();
    HookMovesPcBy = movePcBy;
    KVSetDebuggingHackHandler(&RecordHook);
}

TEST(LongJumps, GolongCountsFromTheOffsetFieldAndWraps)
{
    struct Case {
        uint32_t At;
        uint32_t Offset;
        uint32_t Target;
    };
    const Case cases[] = {
        {0x02000, 0xFFFE, 0x02000}, // -2: onto its own first nibble
        {0x02000, 0x0000, 0x02002}, // the middle of itself
        {0x02000, 0x7FFF, 0x0A001},
        {0xFFFF0, 0x0020, 0x00012}, // over the top
        {0x00010, 0x8000, 0xF8012}, // below zero
        {0x12345, 0x1234, 0x1357B},
    };
    for (bool decimal : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << std::hex << c.At << " " << c.Offset << (decimal ? " dec" : " hex"));
            Machine m;
            test::EnterMode(decimal);
            Cpu.Carry = 1;
            Program p(c.At);
            p.op("8C").imm(c.Offset, 4);
            m.load(p);
            m.step();
            EXPECT_EQ(Cpu.PC, c.Target);
            EXPECT_EQ(Cpu.SliceCycles, 68u);
            EXPECT_EQ(Cpu.RstkIndex, 0u);
            EXPECT_EQ(Cpu.Carry, 1);
        }
    }
}

// The first operand nibble is the third dispatch nibble: each value of it
// must reach the same instruction, in both tables.
TEST(LongJumps, EveryThirdNibbleRunsTheSameInstruction)
{
    for (bool decimal : {false, true}) {
        for (uint32_t low = 0; low < 16; ++low) {
            Machine m;
            test::EnterMode(decimal);
            Program go(0x03000);
            go.op("8C").imm(0x0100 | low, 4);
            m.load(go);
            m.step();
            EXPECT_EQ(Cpu.PC, 0x03102 + low);

            Program very(0x03000);
            very.op("8D").imm(0x45670 | low, 5);
            m.load(very);
            m.step();
            EXPECT_EQ(Cpu.PC, 0x45670 | low);

            Program sub(0x03000);
            sub.op("8E").imm(0x0100 | low, 4);
            m.load(sub);
            m.step();
            EXPECT_EQ(Cpu.PC, 0x03106 + low);
            EXPECT_EQ(Cpu.RSTK[0], 0x03006u);

            Program subVery(0x03000);
            subVery.op("8F").imm(0x45670 | low, 5);
            m.load(subVery);
            m.step();
            EXPECT_EQ(Cpu.PC, 0x45670 | low);
            EXPECT_EQ(Cpu.RSTK[1], 0x03007u);
            EXPECT_EQ(Cpu.RstkIndex, 2u);
        }
    }
}

TEST(LongJumps, GovlngTakesTheAbsoluteAddressEvenWithATaggedNibble)
{
    Machine m;
    Program p(0x05000);
    p.govlng(0x12345);
    m.load(p);
    m.step();
    EXPECT_EQ(Cpu.PC, 0x12345u);
    EXPECT_EQ(Cpu.SliceCycles, 74u);

    m.load(p);
    m.Rom[0x05006] |= 0x10; // a tag on the top address nibble
    m.step();
    EXPECT_EQ(Cpu.PC, 0x12345u);
}

TEST(LongJumps, GosbvlPushesTheAddressBehindItAfterTheHook)
{
    Machine m;
    WatchHook();
    Program p(0x05000);
    p.gosbvl(0x12345);
    m.load(p);
    m.step();
    EXPECT_EQ(Cpu.PC, 0x12345u);
    EXPECT_EQ(Cpu.RSTK[0], 0x05007u);
    EXPECT_EQ(Cpu.RstkIndex, 1u);
    EXPECT_EQ(Cpu.SliceCycles, 78u);
    ASSERT_EQ(HookCalls.size(), 1u);
    EXPECT_EQ(HookCalls[0].Code, 1u);
    EXPECT_EQ(HookCalls[0].Pc, 0x05000u); // still on the instruction
    EXPECT_EQ(HookCalls[0].RstkIndex, 0u);
}

TEST(LongJumps, GosublCountsFromTheReturnAddressReadAfterTheHook)
{
    Machine m;
    WatchHook();
    Program p(0x06000);
    p.op("8E").imm(0x0000, 4); // continues behind itself, one entry deeper
    m.load(p);
    m.step();
    EXPECT_EQ(Cpu.PC, 0x06006u);
    EXPECT_EQ(Cpu.RSTK[0], 0x06006u);
    EXPECT_EQ(Cpu.RstkIndex, 1u);
    EXPECT_EQ(Cpu.SliceCycles, 72u);
    ASSERT_EQ(HookCalls.size(), 1u);
    EXPECT_EQ(HookCalls[0].Code, 1u);
    EXPECT_EQ(HookCalls[0].Pc, 0x06006u); // already on the return address
    EXPECT_EQ(HookCalls[0].RstkIndex, 0u);

    // A hook that moves PC moves the target with it, not the pushed address.
    Machine again;
    WatchHook(0x100);
    Program q(0xFFFF0);
    q.op("8E").imm(0x0020, 4);
    again.load(q);
    again.step();
    EXPECT_EQ(Cpu.RSTK[0], 0xFFFF6u);
    EXPECT_EQ(Cpu.PC, 0x00116u); // (0xFFFF6 + 0x100 + 0x20) wrapped
}

TEST(LongJumps, JumpsNeverCallTheHook)
{
    Machine m;
    WatchHook();
    Program p(0x07000);
    p.op("8C").imm(0x0010, 4);
    m.load(p);
    m.step();
    Program q(0x08000);
    q.govlng(0x09000);
    m.load(q);
    m.step();
    EXPECT_TRUE(HookCalls.empty());
}

// Each GOSUBL lands on the next; the ninth push overwrites the first.
TEST(LongJumps, NineNestedCallsWrapTheReturnStack)
{
    Machine m;
    Program p(0x10000);
    for (int i = 0; i < 9; ++i)
        p.label("call" + std::to_string(i)).op("8E").imm(0x0010, 4).op("0000000000000000");
    m.load(p);
    m.step(9);
    // Call i stands at 0x10000 + 0x16 i and returns to 0x16 i + 6.
    EXPECT_EQ(Cpu.PC, 0x10000u + 9 * 0x16);
    EXPECT_EQ(Cpu.RstkIndex, 1u);
    EXPECT_EQ(Cpu.RSTK[0], 0x10000u + 8 * 0x16 + 6);
    for (uint32_t slot = 1; slot < 8; ++slot)
        EXPECT_EQ(Cpu.RSTK[slot], 0x10000u + slot * 0x16 + 6);
    EXPECT_EQ(Cpu.SliceCycles, 9 * 72u);
}

} // namespace
