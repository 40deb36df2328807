// GOLONG, GOVLNG, GOSUBL and GOSBVL: targets, wraps, pushes, hook order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/register_model.h"

using korvane::Cpu;
using test::Machine;
using test::Program;

namespace {

struct HookCall {
    uint32_t Code, Pc, RstkIndex;
};
std::vector<HookCall> HookCalls;
uint32_t HookMovesPcBy = 0;

uint32_t RecordHook(uint32_t code)
{
    HookCalls.push_back({code, Cpu.PC, Cpu.RstkIndex});
    Cpu.PC += HookMovesPcBy;
    return 0;
}

// The first operand nibble is also the third dispatch nibble, so the low
// nibbles of the rows reach different entries of both tables.
TEST(LongJumps, TargetsPushesAndCostsInBothModes)
{
    struct Case {
        uint32_t At;
        const char* Opcode;
        uint32_t Operand;
        unsigned Width;
        uint32_t Target;
        uint32_t Pushed; // 0: nothing pushed
        uint32_t Cost;
    };
    const Case cases[] = {
        {0x02000, "8C", 0xFFFE, 4, 0x02000, 0, 68}, // onto its own first nibble
        {0x02000, "8C", 0x0000, 4, 0x02002, 0, 68}, // into the middle of itself
        {0xFFFF0, "8C", 0x0020, 4, 0x00012, 0, 68}, // over the top
        {0x00010, "8C", 0x8000, 4, 0xF8012, 0, 68}, // below zero
        {0x12345, "8C", 0x1237, 4, 0x1357E, 0, 68},
        {0x05000, "8D", 0x12345, 5, 0x12345, 0, 74},
        {0x05000, "8D", 0xFEDCB, 5, 0xFEDCB, 0, 74},
        {0x06000, "8E", 0x0000, 4, 0x06006, 0x06006, 72}, // continues one entry deeper
        {0xFFFF0, "8E", 0x0029, 4, 0x0001F, 0xFFFF6, 72},
        {0x06000, "8E", 0xFFF1, 4, 0x05FF7, 0x06006, 72},
        {0x07000, "8F", 0x1234A, 5, 0x1234A, 0x07007, 78},
    };
    for (bool decimal : {false, true}) {
        for (const Case& c : cases) {
            Machine m;
            test::EnterMode(decimal);
            Cpu.Carry = 1;
            Program p(c.At);
            p.op(c.Opcode).imm(c.Operand, c.Width);
            m.load(p);
            m.step();
            SCOPED_TRACE(testing::Message() << c.Opcode << std::hex << " " << c.Operand << " at " << c.At);
            EXPECT_EQ(Cpu.PC, c.Target);
            EXPECT_EQ(Cpu.RstkIndex, c.Pushed ? 1u : 0u);
            EXPECT_EQ(Cpu.RSTK[0], c.Pushed);
            EXPECT_EQ(Cpu.SliceCycles, c.Cost);
            EXPECT_EQ(Cpu.Carry, 1);
        }
    }
}

TEST(LongJumps, TaggedAddressNibbleStaysWithinTwentyBits)
{
    Machine m;
    Program p(0x05000);
    p.govlng(0x12345);
    m.load(p);
    m.Rom[0x05006] |= 0x10; // the top address nibble
    m.step();
    EXPECT_EQ(Cpu.PC, 0x12345u);
}

TEST(LongJumps, CallsTellTheHookOnceBeforeThePush)
{
    Machine m;
    KVSetDebuggingHackHandler(&RecordHook);
    HookCalls.clear();
    HookMovesPcBy = 0;
    Program p(0x05000);
    p.gosbvl(0x12345);
    m.load(p);
    m.step();
    Program q(0x12345);
    q.op("8C").imm(0x0010, 4); // a jump: no hook
    m.place(q);
    m.step();
    ASSERT_EQ(HookCalls.size(), 1u);
    EXPECT_EQ(HookCalls[0].Code, 1u);
    EXPECT_EQ(HookCalls[0].Pc, 0x05000u); // GOSBVL: still on the instruction
    EXPECT_EQ(HookCalls[0].RstkIndex, 0u);

    // GOSUBL: the hook sees the return address, and a PC it moves moves
    // the target, not the pushed address.
    HookCalls.clear();
    HookMovesPcBy = 0x100;
    Program r(0x06000);
    r.op("8E").imm(0x0020, 4);
    m.load(r);
    m.step();
    ASSERT_EQ(HookCalls.size(), 1u);
    EXPECT_EQ(HookCalls[0].Pc, 0x06006u);
    EXPECT_EQ(HookCalls[0].RstkIndex, 1u);
    EXPECT_EQ(Cpu.RSTK[1], 0x06006u);
    EXPECT_EQ(Cpu.PC, 0x06126u);
}

// Each GOSUBL lands on the next; the ninth push overwrites the first.
TEST(LongJumps, NineNestedCallsWrapTheReturnStack)
{
    Machine m;
    Program p(0x10000);
    for (int i = 0; i < 9; ++i)
        p.op("8E").imm(0x0010, 4).op("0000000000000000");
    m.load(p);
    m.step(9);
    EXPECT_EQ(Cpu.PC, 0x10000u + 9 * 0x16);
    EXPECT_EQ(Cpu.RstkIndex, 1u);
    EXPECT_EQ(Cpu.RSTK[0], 0x10000u + 8 * 0x16 + 6);
    for (uint32_t slot = 1; slot < 8; ++slot)
        EXPECT_EQ(Cpu.RSTK[slot], 0x10000u + slot * 0x16 + 6);
}

} // namespace
