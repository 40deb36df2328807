#include <gtest/gtest.h>

#include <cstring>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/opcode_map.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using korvane::DecimalDispatchTable;
using korvane::HexDispatchTable;
using test::Machine;
using test::Program;

namespace {

int TrapCount = 0;

void CountTrap()
{
    ++TrapCount;
}

TEST(DispatchTables, EveryTaggedEntryLeadsToItsTablesTrap)
{
    for (unsigned index = 0; index < 8192; ++index) {
        if (index & korvane::BreakpointTag) {
            ASSERT_EQ(HexDispatchTable[index], &korvane::BreakpointTrapHex) << index;
            ASSERT_EQ(DecimalDispatchTable[index], &korvane::BreakpointTrapDecimal) << index;
        } else {
            ASSERT_NE(HexDispatchTable[index], nullptr) << index;
            ASSERT_NE(DecimalDispatchTable[index], nullptr) << index;
        }
    }
}

TEST(DispatchTables, ShortOpcodesFillEveryEntryOfTheirPrefix)
{
    // GOTO is one nibble: all 256 entries of 6xy hold one handler.
    for (unsigned i = 0; i < 256; ++i)
        EXPECT_EQ(HexDispatchTable[korvane::DispatchIndex(6, i & 15, i >> 4)], HexDispatchTable[6]);
    // RTN is two nibbles: the third nibble does not matter.
    for (unsigned n2 = 0; n2 < 16; ++n2)
        EXPECT_EQ(DecimalDispatchTable[korvane::DispatchIndex(0, 1, n2)], DecimalDispatchTable[32]);
}

class Breakpoints : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { TrapCount = 0; }
};

TEST_P(Breakpoints, TaggedInstructionRunsNormallyWithoutAHandler)
{
    Machine m;
    if (GetParam())
        korvane::SwitchToDecimal();
    Program p(0x00200);
    p.breakpoint().op("0C"); // P=P+1
    m.load(p);
    korvane::ExecuteInstruction();
    EXPECT_EQ(Cpu.P, 1);
    EXPECT_EQ(Cpu.PC, 0x00202u);
    EXPECT_EQ(Cpu.SliceCycles, 16u);
}

TEST_P(Breakpoints, HandlerStandsInForTheTaggedInstructionAndChangesNothing)
{
    Machine m;
    if (GetParam())
        korvane::SwitchToDecimal();
    Program p(0x00200);
    p.breakpoint().op("0C");
    m.load(p);
    KVSetBreakpointHandler(&CountTrap);
    korvane::CpuState before;
    std::memcpy(&before, &Cpu, sizeof Cpu);
    korvane::ExecuteInstruction();
    EXPECT_EQ(TrapCount, 1);
    before.FetchPointer = Cpu.FetchPointer;
    EXPECT_EQ(std::memcmp(&before, &Cpu, sizeof Cpu), 0) << "no register changes";
    EXPECT_EQ(Cpu.P, 0);
    EXPECT_EQ(Cpu.PC, 0x00200u);
    EXPECT_EQ(Cpu.SliceCycles, 0u);
    korvane::ExecuteInstruction();
    EXPECT_EQ(TrapCount, 2) << "the same tagged PC traps again";
    KVSetBreakpointHandler(nullptr);
    korvane::ExecuteInstruction();
    EXPECT_EQ(Cpu.P, 1) << "removing the handler makes the instruction run";
}

TEST_P(Breakpoints, StepIgnoresTheTagEvenWithAHandler)
{
    Machine m;
    if (GetParam())
        korvane::SwitchToDecimal();
    Program p(0x00200);
    p.breakpoint().op("0C");
    m.load(p);
    KVSetBreakpointHandler(&CountTrap);
    KVStep();
    EXPECT_EQ(TrapCount, 0);
    EXPECT_EQ(Cpu.P, 1);
    EXPECT_EQ(Cpu.PC, 0x00202u);
}

TEST_P(Breakpoints, TagsOnOperandNibblesPlayNoPartInDispatch)
{
    Machine m;
    if (GetParam())
        korvane::SwitchToDecimal();
    // GOTO with tags on its second and third nibbles: offset 0x005.
    m.poke(0x00300, "6500");
    m.Rom[0x00301] |= 0x10;
    m.Rom[0x00302] |= 0x10;
    Cpu.PC = 0x00300;
    KVSetBreakpointHandler(&CountTrap);
    korvane::ExecuteInstruction();
    EXPECT_EQ(TrapCount, 0);
    EXPECT_EQ(Cpu.PC, 0x00306u);
}

INSTANTIATE_TEST_SUITE_P(BothModes, Breakpoints, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Decimal" : "Hexadecimal"; });

TEST(Dispatch, SetDecAndSetHexSwitchTheTableForTheNextInstruction)
{
    Machine m;
    Program p(0x00400);
    p.setdec().sethex();
    m.load(p);
    m.step();
    EXPECT_EQ(Cpu.DecimalMode, 1);
    EXPECT_EQ(korvane::ActiveDispatchTable, DecimalDispatchTable.data());
    m.step();
    EXPECT_EQ(Cpu.DecimalMode, 0);
    EXPECT_EQ(korvane::ActiveDispatchTable, HexDispatchTable.data());
    EXPECT_EQ(Cpu.PC, 0x00404u);
    EXPECT_EQ(Cpu.SliceCycles, 32u);
}

TEST(Dispatch, PcBeyondTwentyBitsIsFetchedFromItsPageModulo256)
{
    Machine m;
    m.poke(0x00010, "0C");
    Cpu.PC = 0x100010; // reached by an unmasked return
    KVStep();
    EXPECT_EQ(Cpu.P, 1);
    EXPECT_EQ(Cpu.PC, 0x100012u);
}

} // namespace
