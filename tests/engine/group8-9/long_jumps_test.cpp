// GOLONG, GOVLNG, GOSUBL and GOSBVL: targets, wraps, pushes, hook order.
#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

#include "tests/support/field_model.h"

using korvane::Cpu;

namespace {

std::vector<std::array<uint32_t, 3>> HookCalls; // code, PC, RstkIndex
uint32_t HookMovesPcBy = 0;

uint32_t RecordHook(uint32_t code)
{
    HookCalls.push_back({code, Cpu.PC, Cpu.RstkIndex});
    Cpu.PC += HookMovesPcBy;
    return 0;
}

// The first operand nibble is also the third dispatch nibble, so the rows
// reach different entries of both tables. Pushed 0 means no push. A stray
// tag on the top operand nibble must change nothing.
TEST(LongJumps, TargetsPushesAndCostsInBothModes)
{
    const struct { uint32_t At; const char* Opcode; uint32_t Operand, Target, Pushed; } cases[] = {
        {0x02000, "8C", 0xFFFE, 0x02000, 0}, // onto its own first nibble
        {0x02000, "8C", 0x0000, 0x02002, 0}, // into the middle of itself
        {0xFFFF0, "8C", 0x0020, 0x00012, 0}, // over the top
        {0x00010, "8C", 0x8000, 0xF8012, 0}, // below zero
        {0x12345, "8C", 0x1237, 0x1357E, 0},
        {0x05000, "8D", 0x12345, 0x12345, 0},
        {0x05000, "8D", 0xFEDCB, 0xFEDCB, 0},
        {0x06000, "8E", 0x0000, 0x06006, 0x06006}, // continues one entry deeper
        {0xFFFF0, "8E", 0x0029, 0x0001F, 0xFFFF6},
        {0x06000, "8E", 0xFFF1, 0x05FF7, 0x06006},
        {0x07000, "8F", 0x1234A, 0x1234A, 0x07007},
    };
    const uint32_t costs[] = {68, 74, 72, 78}; // 8C to 8F
    for (unsigned run = 0; run < 4; ++run) {
        const bool decimal = run & 1, tagged = run & 2;
        for (const auto& c : cases) {
            test::Machine m;
            test::EnterMode(decimal);
            Cpu.Carry = 1;
            const unsigned kind = c.Opcode[1] - 'C', width = kind & 1 ? 5 : 4;
            test::Program p(c.At);
            m.load(p.op(c.Opcode).imm(c.Operand, width));
            m.Rom[(c.At + 1 + width) & 0xFFFFF] |= tagged ? 0x10 : 0;
            m.step();
            EXPECT_EQ(std::tuple(Cpu.PC, Cpu.RstkIndex, Cpu.RSTK[0], Cpu.SliceCycles, Cpu.Carry),
                      std::tuple(c.Target, c.Pushed ? 1u : 0u, c.Pushed, costs[kind], uint8_t{1}))
                << c.Opcode << std::hex << " " << c.Operand << " at " << c.At;
        }
    }
}

// GOSBVL: the hook sees PC still on the instruction; a jump calls no hook.
// GOSUBL: it sees the return address, and a PC it moves moves the target,
// not the pushed address.
TEST(LongJumps, CallsTellTheHookOnceBeforeThePush)
{
    test::Machine m;
    KVSetDebuggingHackHandler(&RecordHook);
    HookCalls.clear();
    HookMovesPcBy = 0;
    test::Program p(0x05000), q(0x12345), r(0x06000);
    m.place(q.op("8C").imm(0x0010, 4));
    m.load(p.gosbvl(0x12345));
    m.step(2);
    m.load(r.op("8E").imm(0x0020, 4));
    HookMovesPcBy = 0x100;
    m.step();
    EXPECT_EQ(HookCalls, (std::vector<std::array<uint32_t, 3>>{{1, 0x05000, 0}, {1, 0x06006, 1}}));
    EXPECT_EQ(Cpu.RSTK[1], 0x06006u);
    EXPECT_EQ(Cpu.PC, 0x06126u);
}

// Each GOSUBL lands on the next; the ninth push overwrites the first.
TEST(LongJumps, NineNestedCallsWrapTheReturnStack)
{
    test::Machine m;
    test::Program p(0x10000);
    for (int i = 0; i < 9; ++i)
        p.op("8E").imm(0x0010, 4).op("0000000000000000");
    m.load(p);
    m.step(9);
    EXPECT_EQ(std::tuple(Cpu.PC, Cpu.RstkIndex), std::tuple(0x100C6u, 1u));
    EXPECT_EQ(std::to_array(Cpu.RSTK),
              (std::array<uint32_t, 8>{0x100B6, 0x1001C, 0x10032, 0x10048, 0x1005E, 0x10074, 0x1008A, 0x100A0}));
}

} // namespace
