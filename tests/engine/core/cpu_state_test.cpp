#include <gtest/gtest.h>

#include <random>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;

namespace {

TEST(RegisterFile, IndexedAccessMasksAndKeepsWhatTheNumberingSays)
{
    Machine m;
    KVSetRegister(KV_REG_PC, 0x123456);
    EXPECT_EQ(Cpu.PC, 0x23456u);
    KVSetRegister(KV_REG_D0, 0xFFFFFFFF);
    KVSetRegister(KV_REG_D1, 0x1ABCDE);
    EXPECT_EQ(KVGetRegister(KV_REG_D0), 0xFFFFFu);
    EXPECT_EQ(KVGetRegister(KV_REG_D1), 0xABCDEu);
    KVSetRegister(KV_REG_RSTK_INDEX, 9);
    EXPECT_EQ(Cpu.RstkIndex, 1u);
    KVSetRegister(KV_REG_RSTK0 + 3, 0x100000);
    EXPECT_EQ(KVGetRegister(KV_REG_RSTK0 + 3), 0x100000u) << "return stack slots are not masked";
    KVSetRegister(KV_REG_OUT, 0xFFFF);
    KVSetRegister(KV_REG_IN, 0x1FFFF);
    EXPECT_EQ(KVGetRegister(KV_REG_OUT), 0xFFFu);
    EXPECT_EQ(KVGetRegister(KV_REG_IN), 0xFFFFu);
    for (uint32_t n = 0; n < 8; ++n) {
        KVSetRegister(KV_REG_R0_LOW + 2 * n, 0x11111111u * n);
        KVSetRegister(KV_REG_R0_LOW + 2 * n + 1, ~(0x11111111u * n));
    }
    for (uint32_t n = 0; n < 8; ++n) {
        EXPECT_EQ(Cpu.R[n].Low, 0x11111111u * n);
        EXPECT_EQ(Cpu.R[n].High, ~(0x11111111u * n));
    }
    for (uint32_t index : {3u, 35u, 40u, 62u, 72u, 1000u})
        EXPECT_EQ(KVGetRegister(index), 0u) << index;
}

TEST(RegisterFile, CycleTotalIsReadOnlyAndCarriesIntoItsHighHalf)
{
    Machine m;
    Cpu.TotalCycles = 0xFFFFFFF0u;
    Cpu.SliceCycles = 0x20;
    EXPECT_EQ(KVGetRegister(KV_REG_CYCLES_LOW), 0x10u);
    EXPECT_EQ(KVGetRegister(KV_REG_CYCLES_HIGH), 1u);
    KVSetRegister(KV_REG_CYCLES_LOW, 5);
    KVSetRegister(KV_REG_CYCLES_HIGH, 5);
    EXPECT_EQ(Cpu.TotalCycles, 0xFFFFFFF0u);
}

TEST(RegisterFile, FlagsWordPacksEveryFlag)
{
    Machine m;
    korvane::SwitchToDecimal();
    korvane::SetP(5);
    Cpu.Carry = 1;
    Cpu.ST = 0x8001;
    EXPECT_EQ(KVGetRegister(KV_REG_FLAGS), 0x80010605u);
    Cpu.HST = 0xA;
    Cpu.InterruptService = 1;
    Cpu.KeyInterruptsEnabled = 1;
    EXPECT_EQ(KVGetRegister(KV_REG_FLAGS), 0x80010FA5u);

    KVSetRegister(KV_REG_FLAGS, 0x1234F3A7u);
    EXPECT_EQ(Cpu.P, 7);
    EXPECT_EQ(Cpu.PShift, 28u);
    EXPECT_EQ(Cpu.HST, 0xA);
    EXPECT_EQ(Cpu.InterruptService, 1);
    EXPECT_EQ(Cpu.Carry, 1);
    EXPECT_EQ(Cpu.DecimalMode, 0) << "bit 10 clear selects hexadecimal mode";
    EXPECT_EQ(Cpu.KeyInterruptsEnabled, 0);
    EXPECT_EQ(Cpu.ST, 0x1234);
    EXPECT_EQ(KVGetRegister(KV_REG_FLAGS), 0x123403A7u) << "bits 12-15 are not stored";
}

TEST(RegisterFile, FlagsWordModeBitConvertsTheWorkingRegisters)
{
    Machine m;
    std::mt19937_64 random(7);
    uint32_t halves[8];
    for (uint32_t i = 0; i < 8; ++i) {
        halves[i] = static_cast<uint32_t>(random());
        KVSetRegister(KV_REG_A_LOW + i, halves[i]);
    }
    KVSetRegister(KV_REG_FLAGS, 0x400);
    EXPECT_EQ(Cpu.DecimalMode, 1);
    EXPECT_EQ(korvane::ActiveDispatchTable, korvane::DecimalDispatchTable.data());
    EXPECT_EQ(Cpu.A.Nibbles[0], halves[0] & 15);
    EXPECT_EQ(Cpu.D.Nibbles[15], halves[7] >> 28);
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(KVGetRegister(KV_REG_A_LOW + i), halves[i]);
    KVSetRegister(KV_REG_FLAGS, 0);
    EXPECT_EQ(Cpu.DecimalMode, 0);
    EXPECT_EQ(korvane::ActiveDispatchTable, korvane::HexDispatchTable.data());
    for (uint32_t i = 0; i < 8; ++i)
        EXPECT_EQ(KVGetRegister(KV_REG_A_LOW + i), halves[i]);
}

TEST(RegisterFile, DecimalModeHalvesLiveInTheNibbleBytes)
{
    Machine m;
    korvane::SwitchToDecimal();
    KVSetRegister(KV_REG_A_LOW, 0x89ABCDEF);
    const uint8_t expected[8] = {15, 14, 13, 12, 11, 10, 9, 8};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(Cpu.A.Nibbles[k], expected[k]);
    EXPECT_EQ(Cpu.A.PackedLow, 0u) << "the stale packed form is left alone";
    EXPECT_EQ(KVGetRegister(KV_REG_A_LOW), 0x89ABCDEFu);
}

TEST(RegisterFile, ModeSwitchConvertsOnceAndOnlyWhenTheModeChanges)
{
    Machine m;
    test::SetValue(Cpu.B, 0x0123456789ABCDEFull);
    korvane::SwitchToDecimal();
    Cpu.B.PackedLow = 0xDEADBEEF; // stale in decimal mode
    korvane::SwitchToDecimal();
    EXPECT_EQ(test::Value(Cpu.B), 0x0123456789ABCDEFull);
    Cpu.B.Nibbles[0] = 3;
    korvane::SwitchToHex();
    EXPECT_EQ(test::Value(Cpu.B), 0x0123456789ABCDE3ull);
    Cpu.B.Nibbles[0] = 9; // stale in hexadecimal mode
    korvane::SwitchToHex();
    EXPECT_EQ(test::Value(Cpu.B), 0x0123456789ABCDE3ull);
}

TEST(RegisterFile, SetRegisterIsIgnoredWhileTheEngineRuns)
{
    Machine m;
    m.poke(0, "6FFF"); // GOTO to itself
    KVRun();
    ASSERT_EQ(KVIsRunning(), 1u);
    const uint32_t d0 = Cpu.D0;
    KVSetRegister(KV_REG_D0, 0x12345);
    KVSetRegister(KV_REG_FLAGS, 0x400);
    KVStop();
    EXPECT_EQ(Cpu.D0, d0);
    EXPECT_EQ(Cpu.DecimalMode, 0);
}

TEST(ReturnStack, IsARingOfEightThatPopsClearSlots)
{
    Machine m;
    for (uint32_t value = 1; value <= 9; ++value)
        KVRstkPush(value * 0x1111);
    EXPECT_EQ(Cpu.RstkIndex, 1u);
    for (uint32_t value = 9; value >= 2; --value)
        EXPECT_EQ(KVRstkPop(), value * 0x1111);
    EXPECT_EQ(KVRstkPop(), 0u) << "the ninth push overwrote the first entry, which the first pop cleared";
    for (uint32_t slot : Cpu.RSTK)
        EXPECT_EQ(slot, 0u);
}

std::vector<uint32_t> HookCalls;

uint32_t RecordHook(uint32_t code)
{
    HookCalls.push_back(code);
    return 77;
}

TEST(ReturnStack, DebuggingHookHearsEveryPushBeforeItHappens)
{
    Machine m;
    HookCalls.clear();
    KVSetDebuggingHackHandler(&RecordHook);
    KVRstkPush(0x42);
    KVRstkPop();
    KVSetDebuggingHackHandler(nullptr);
    KVRstkPush(0x43);
    EXPECT_EQ(HookCalls, (std::vector<uint32_t>{1, 2}));
}


// The decimal-form helpers against a plain array of sixteen nibbles: whole
// words, field A, and the bytes a field A write must leave alone.
TEST(RegisterFile, DecimalFormHelpersMatchANibbleModel)
{
    std::mt19937_64 random(11);
    for (int round = 0; round < 200; ++round) {
        uint8_t model[16];
        korvane::NibbleRegister r{};
        for (int k = 0; k < 16; ++k)
            r.Nibbles[k] = model[k] = static_cast<uint8_t>(random() & 15);
        uint64_t word = 0;
        for (int k = 15; k >= 0; --k)
            word = word << 4 | model[k];
        ASSERT_EQ(korvane::ReadWord<true>(r), word);
        ASSERT_EQ(korvane::ReadFieldA<true>(r), static_cast<uint32_t>(word & 0xFFFFF));

        const uint32_t value = static_cast<uint32_t>(random());
        korvane::WriteFieldA<true>(r, value);
        for (int k = 0; k < 16; ++k)
            ASSERT_EQ(r.Nibbles[k], k < 5 ? (value >> (4 * k)) & 15 : model[k]) << "nibble " << k;

        const uint64_t whole = random();
        korvane::WriteWord<true>(r, whole);
        for (int k = 0; k < 16; ++k)
            ASSERT_EQ(r.Nibbles[k], (whole >> (4 * k)) & 15) << "nibble " << k;
        EXPECT_EQ(r.PackedLow, 0u) << "the packed form is not touched";
    }
}

} // namespace
