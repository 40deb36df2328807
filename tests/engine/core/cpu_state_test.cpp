#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <tuple>
#include <vector>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Machine;
using test::Program;

namespace {

TEST(RegisterFile, IndexedWritesAreCutToTheRegisterWidth)
{
    Machine m;
    const struct {
        uint32_t Index, Written, Read;
    } cases[] = {
        {KV_REG_PC, 0x123456, 0x23456},       {KV_REG_D0, 0xFFFFFFFF, 0xFFFFF},
        {KV_REG_D1, 0x1ABCDE, 0xABCDE},       {KV_REG_RSTK_INDEX, 9, 1},
        {KV_REG_RSTK0 + 3, 0x100000, 0x100000}, // return slots are not masked
        {KV_REG_OUT, 0xFFFF, 0xFFF},          {KV_REG_IN, 0x1FFFF, 0xFFFF},
        {KV_REG_R0_LOW + 15, 0xFEDCBA98, 0xFEDCBA98},
        {3, 5, 0}, {35, 5, 0}, {62, 5, 0}, {72, 5, 0}, {1000, 5, 0}, // no register
    };
    for (const auto& c : cases) {
        KVSetRegister(c.Index, c.Written);
        EXPECT_EQ(KVGetRegister(c.Index), c.Read) << c.Index;
    }
    EXPECT_EQ(std::tuple(Cpu.PC, Cpu.D0, Cpu.D1, Cpu.RstkIndex, Cpu.RSTK[3], Cpu.OUT, Cpu.IN, Cpu.R[7].High),
              std::tuple(0x23456u, 0xFFFFFu, 0xABCDEu, 1u, 0x100000u, uint16_t{0xFFF}, uint16_t{0xFFFF}, 0xFEDCBA98u));

    // The cycle total is read-only and counts the slice under way.
    Cpu.TotalCycles = 0xFFFFFFF0u, Cpu.SliceCycles = 0x20;
    KVSetRegister(KV_REG_CYCLES_LOW, 5);
    KVSetRegister(KV_REG_CYCLES_HIGH, 5);
    EXPECT_EQ(KVGetRegister(KV_REG_CYCLES_HIGH) << 8 | KVGetRegister(KV_REG_CYCLES_LOW), 0x110u);
}

// Nibble k of a working register in the form the current mode reads.
unsigned LiveNibble(const NibbleRegister& r, unsigned k)
{
    if (Cpu.DecimalMode)
        return r.Nibbles[k];
    return ((k < 8 ? r.PackedLow : r.PackedHigh) >> (4 * (k % 8))) & 15;
}

TEST(RegisterFile, HalvesRoundTripInBothModesAndAModeSwitchConvertsOnlyOnAChange)
{
    Machine m;
    std::mt19937 random(7);
    NibbleRegister* const working[] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    for (uint32_t mode : {0x000u, 0x400u}) {
        KVSetRegister(KV_REG_FLAGS, mode);
        const NibbleRegister before[4] = {Cpu.A, Cpu.B, Cpu.C, Cpu.D};
        uint32_t halves[8];
        for (uint32_t i = 0; i < 8; ++i) {
            halves[i] = static_cast<uint32_t>(random());
            KVSetRegister(KV_REG_A_LOW + i, halves[i]);
        }
        for (uint32_t i = 0; i < 8; ++i) {
            for (unsigned k = 0; k < 8; ++k)
                ASSERT_EQ(LiveNibble(*working[i / 2], 8 * (i & 1) + k), (halves[i] >> (4 * k)) & 15) << i;
        }
        for (int r = 0; r < 4; ++r) {
            const bool staleKept = mode ? working[r]->PackedLow == before[r].PackedLow
                                        : std::memcmp(working[r]->Nibbles, before[r].Nibbles, 16) == 0;
            EXPECT_TRUE(staleKept) << "the form that is not live is left alone";
        }
        // The other mode converts A to D: every half reads the same.
        KVSetRegister(KV_REG_FLAGS, mode ^ 0x400);
        EXPECT_EQ(ActiveDispatchTable, mode ? HexDispatchTable.data() : DecimalDispatchTable.data());
        for (uint32_t i = 0; i < 8; ++i)
            EXPECT_EQ(KVGetRegister(KV_REG_A_LOW + i), halves[i]);
    }
    // A switch to the mode in force converts nothing: the stale form stays.
    test::SetValue(Cpu.B, 0x0123456789ABCDEFull);
    SwitchToDecimal();
    Cpu.B.PackedLow = 0xDEADBEEF;
    SwitchToDecimal();
    EXPECT_EQ(test::Value(Cpu.B), 0x0123456789ABCDEFull);
    Cpu.B.Nibbles[0] = 3;
    SwitchToHex();
    Cpu.B.Nibbles[0] = 9;
    SwitchToHex();
    EXPECT_EQ(test::Value(Cpu.B), 0x0123456789ABCDE3ull);
}

TEST(RegisterFile, FlagsWordPacksEveryFlagInBothModes)
{
    Machine m;
    SwitchToDecimal();
    SetP(5);
    Cpu.Carry = 1, Cpu.ST = 0x8001;
    EXPECT_EQ(KVGetRegister(KV_REG_FLAGS), 0x80010605u);
    Cpu.HST = 0xA, Cpu.InterruptService = Cpu.KeyInterruptsEnabled = 1;
    EXPECT_EQ(KVGetRegister(KV_REG_FLAGS), 0x80010FA5u);

    // Bits 12-15 are not stored; bit 10 selects the mode.
    for (uint32_t written : {0x1234F3A7u, 0x1234FCA7u}) {
        KVSetRegister(KV_REG_FLAGS, written);
        EXPECT_EQ(KVGetRegister(KV_REG_FLAGS), written & 0xFFFF0FFF);
        EXPECT_EQ(std::tuple(Cpu.PShift, Cpu.HST, Cpu.ST), std::tuple(28u, uint8_t{0xA}, uint16_t{0x1234}));
    }
    EXPECT_EQ(std::tuple(Cpu.DecimalMode, Cpu.KeyInterruptsEnabled, Cpu.InterruptService, Cpu.Carry),
              std::tuple(1, 1, 0, 0));
}

std::vector<uint32_t> HookCalls;

TEST(ReturnStack, IsARingOfEightWhosePopsClearTheirSlotAndTellTheHook)
{
    Machine m;
    HookCalls.clear();
    KVSetDebuggingHackHandler([](uint32_t code) {
        HookCalls.push_back(code);
        return 77u;
    });
    for (uint32_t value = 1; value <= 9; ++value)
        KVRstkPush(value * 0x1111);
    EXPECT_EQ(Cpu.RstkIndex, 1u);
    for (uint32_t value = 9; value >= 2; --value)
        EXPECT_EQ(KVRstkPop(), value * 0x1111);
    EXPECT_EQ(KVRstkPop(), 0u) << "the ninth push overwrote the first entry, which a pop cleared";
    EXPECT_EQ(std::count(std::begin(Cpu.RSTK), std::end(Cpu.RSTK), 0u), 8);
    KVSetDebuggingHackHandler(nullptr);
    KVRstkPush(0x43);
    EXPECT_EQ(HookCalls, (std::vector<uint32_t>{1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2}));
}

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
    Cpu.PC = 0x00300, TrapCount = 0;
    KVSetBreakpointHandler([] { ++TrapCount; });
    ExecuteInstruction();
    EXPECT_EQ(std::tuple(TrapCount, Cpu.PC), std::tuple(0, 0x00306u));

    m.poke(0x00010, "0C");
    Cpu.PC = 0x100010; // reached by an unmasked return
    KVStep();
    EXPECT_EQ(std::tuple(Cpu.P, Cpu.PC), std::tuple(1, 0x100012u));
}

} // namespace
