#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Machine;
using test::Program;

namespace {

int TrapCount = 0;

// A handler stands in for the tagged instruction and changes nothing; the
// instruction runs as if untagged, in its mode, without one; KVStep ignores
// the tag.
TEST(Dispatch, ABreakpointHandlerStandsInForTheTaggedInstructionInBothModes)
{
    for (bool decimal : {false, true}) {
        SCOPED_TRACE(decimal);
        Machine m;
        TrapCount = 0;
        test::SetValue(Cpu.A, 9);
        test::SetValue(Cpu.B, 1);
        if (decimal)
            SwitchToDecimal();
        m.load(Program(0x00200).breakpoint().op("C0")); // A=A+B field A
        const uint64_t sum = decimal ? 0x10 : 0x0A;
        KVSetBreakpointHandler([] { ++TrapCount; });
        CpuState before;
        std::memcpy(&before, &Cpu, sizeof Cpu);
        ExecuteInstruction();
        ExecuteInstruction();
        EXPECT_EQ(TrapCount, 2);
        before.FetchPointer = Cpu.FetchPointer;
        EXPECT_EQ(std::memcmp(&before, &Cpu, sizeof Cpu), 0) << "no register changes, no cycles";

        KVStep();
        EXPECT_EQ(std::tuple(TrapCount, test::Value(Cpu.A), Cpu.PC), std::tuple(2, sum, 0x00202u));

        KVSetBreakpointHandler(nullptr);
        Cpu.PC = 0x00200;
        test::SetValue(Cpu.A, 9);
        ExecuteInstruction();
        EXPECT_EQ(std::tuple(test::Value(Cpu.A), Cpu.PC), std::tuple(sum, 0x00202u));
    }
}

TEST(Dispatch, OperandTagsPlayNoPartAndPcBeyondTwentyBitsFetchesModulo256)
{
    Machine m;
    // GOTO with tags on its second and third nibbles: offset 0x005.
    m.poke(0x00300, "6500");
    m.Rom[0x00301] |= BreakpointTag, m.Rom[0x00302] |= BreakpointTag;
    Cpu.PC = 0x00300;
    TrapCount = 0;
    KVSetBreakpointHandler([] { ++TrapCount; });
    ExecuteInstruction();
    EXPECT_EQ(std::tuple(TrapCount, Cpu.PC), std::tuple(0, 0x00306u));

    m.poke(0x00010, "0C");
    Cpu.PC = 0x100010; // reached by an unmasked return
    KVStep();
    EXPECT_EQ(std::tuple(Cpu.P, Cpu.PC), std::tuple(1, 0x100012u));
}

} // namespace
