#include <climits>
#include <gtest/gtest.h>
#include <random>
#include <tuple>
#include <vector>

#include "engine/core/interrupts.h"
#include "engine/core/keyboard.h"
#include "tests/support/single_step.h"

using korvane::Cpu;
using korvane::RequestKey;
using namespace test;

namespace {

struct Keyboard : ::testing::Test {
    Keyboard() { ResetKeys(); }
    ~Keyboard() override { ResetKeys(); }
    Machine M;

    // OUT=C, then C=IN: the lines a program reads for these OUT lines.
    uint32_t Read(uint32_t out)
    {
        SetValue(Cpu.C, out);
        StepIn(M, "801", false);
        StepIn(M, "803", false);
        EXPECT_EQ(Cpu.SliceCycles, 34u);
        return Value(Cpu.C) & 0xFFFF;
    }
    static uint16_t Requested() { return korvane::PendingInterrupts.load(); }
};

// The model: a key that is down joins its row and column; the IN lines an
// OUT line reaches are the columns joined to its row, key by key, until
// nothing more joins.
uint16_t ModelLines(const bool down[9][9], unsigned out)
{
    bool rows[9] = {}, columns[9] = {};
    rows[out] = true;
    for (bool grown = true; grown;) {
        grown = false;
        for (unsigned key = 0; key < 81; ++key) {
            bool &row = rows[key / 9], &column = columns[key % 9];
            if (down[key / 9][key % 9] && row != column)
                row = column = grown = true;
        }
    }
    uint16_t lines = 0;
    for (unsigned column = 0; column < 9; ++column)
        lines |= columns[column] << column;
    return lines;
}

TEST_F(Keyboard, OutLinesReachInLinesThroughTheKeysDown)
{
    KVPressKey(1, 2);
    EXPECT_EQ(Read(0x004), 0x0002u);
    EXPECT_EQ(Read(0x003), 0u);
    KVReleaseKey(1, 2);
    for (auto [column, row] : {std::pair{0, 0}, {1, 0}, {1, 1}})
        KVPressKey(column, row);
    EXPECT_EQ(Read(0x002), 0x0003u) << "the sneak path through (1,0) and (0,0)";
    EXPECT_EQ(Read(0xE00), 0u) << "OUT bits 9-11 drive no line";
    EXPECT_EQ(Requested(), 0u) << "nothing is owed while key interrupts are off";

    std::mt19937 random(3);
    bool down[9][9] = {{true, true}, {false, true}};
    for (int trial = 0; trial < 300; ++trial) {
        const unsigned percent = random() % 35;
        for (int row = 0; row < 9; ++row) {
            for (int column = 0; column < 9; ++column) {
                const bool want = random() % 100 < percent;
                if (want != down[row][column])
                    want ? KVPressKey(column, row) : KVReleaseKey(column, row);
                down[row][column] = want;
                ASSERT_EQ(KVIsKeyPressed(column, row), want ? 1u : 0u);
            }
        }
        const uint32_t out = random() & 0xFFF;
        uint16_t expected = 0;
        for (unsigned row = 0; row < 9; ++row) {
            ASSERT_EQ(korvane::LineMasks[row].load(), ModelLines(down, row)) << "trial " << trial;
            expected |= (out >> row) & 1 ? ModelLines(down, row) : 0;
        }
        ASSERT_EQ(Read(out), expected);
    }
}

std::vector<std::vector<uint32_t>> Seen;

// Any code outside 0-8 is the ON key: no matrix cell, IN bit 15, and an
// interrupt at the press unless a service routine runs. The handler hears
// of each key before the matrix changes.
TEST_F(Keyboard, OnKeyCodesAreNoMatrixCellsAndTheHandlerRunsFirst)
{
    KVSetKeyboardHandler([](int32_t column, int32_t row, uint32_t down) {
        Seen.push_back({uint32_t(column), uint32_t(row), down, KVIsKeyPressed(column, row)});
    });
    KVPressKey(0, 0);
    Cpu.OUT = 1;
    for (auto [column, row] : {std::pair{9, 9}, {9, 0}, {-1, 3}}) {
        korvane::PendingInterrupts = 0;
        KVPressKey(column, row);
        EXPECT_EQ(Requested(), RequestKey);
        EXPECT_EQ(KVIsKeyPressed(column, row) + KVIsKeyPressed(0, 1), 0u) << "(9, 0) would alias (0, 1)";
        SetValue(Cpu.A, ~uint64_t{0});
        StepIn(M, "802", false); // A=IN
        EXPECT_EQ(Value(Cpu.A), 0xFFFFFFFFFFFF8001u);
        EXPECT_EQ(Requested(), RequestKey | korvane::RequestOnKey) << "every scan while ON is held";
        KVReleaseKey(column, row);
        StepIn(M, "802", false);
        EXPECT_EQ(Value(Cpu.A), 0xFFFFFFFFFFFF0001u);
    }
    EXPECT_EQ(KVIsKeyPressed(INT_MIN, INT_MAX), 0u);
    korvane::PendingInterrupts = 0;
    korvane::StoreRelaxed(Cpu.InterruptService, uint8_t{1});
    KVPressKey(9, 9);
    EXPECT_EQ(Requested(), 0u) << "no request at a press during a service routine";
    KVReleaseKey(0, 0);
    ASSERT_EQ(Seen.size(), 9u);
    EXPECT_EQ(Seen.front(), (std::vector<uint32_t>{0, 0, 1, 0}));
    EXPECT_EQ(Seen.back(), (std::vector<uint32_t>{0, 0, 0, 1}));
}

// A key interrupt owed through RSI waits for INTON and the scan after it; a
// held line never interrupts twice; none is owed during a service routine.
TEST_F(Keyboard, RsiOwesTheKeyInterruptUntilInton)
{
    const struct {
        int Key; // +1 press, -1 release key (2, 0) first
        const char* Opcode;
        uint16_t In;
        uint8_t Owed;
        uint16_t Requested;
        uint32_t Length, Cost;
    } steps[] = {
        {+1, "808F", 0, 0, 0, 4, 28},        // INTOFF
        {0, "803", 4, 0, 0, 3, 34},          // a new line, key interrupts off: nothing owed
        {0, "80810", 4, 1, 0, 5, 34},        // RSI: the line counts as new again, and is owed
        {0, "803", 4, 1, 0, 3, 34},          // still off: held
        {0, "8080", 4, 1, 0, 4, 28},         // INTON does not scan
        {0, "803", 4, 0, RequestKey, 3, 34}, // the first scan after it raises it
        {0, "803", 4, 0, 0, 3, 34},          // the held line raises nothing more
        {-1, "803", 0, 0, 0, 3, 34},         // a release raises nothing
        {+1, "803", 4, 0, RequestKey, 3, 34},
    };
    Cpu.OUT = 1;
    for (const auto& s : steps) {
        s.Key > 0 ? KVPressKey(2, 0) : s.Key < 0 ? KVReleaseKey(2, 0) : void();
        korvane::PendingInterrupts = 0;
        StepIn(M, s.Opcode, false);
        EXPECT_EQ(std::tuple(Cpu.IN, korvane::KeyPending.load(), Requested(), Cpu.PC, Cpu.SliceCycles),
                  std::tuple(s.In, s.Owed, s.Requested, StepOrigin + s.Length, s.Cost))
            << s.Opcode;
    }
    korvane::StoreRelaxed(Cpu.InterruptService, uint8_t{1});
    KVReleaseKey(2, 0);
    Read(1);
    korvane::PendingInterrupts = 0;
    KVPressKey(2, 0);
    EXPECT_EQ(Read(1), 4u);
    EXPECT_EQ(korvane::KeyPending.load() + Requested(), 0u);
}

} // namespace
