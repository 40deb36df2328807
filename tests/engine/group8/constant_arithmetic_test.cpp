#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "engine/core/cpu_state.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using korvane::NibbleRegister;
using test::Machine;

namespace {

constexpr uint32_t Origin = 0x40000;
constexpr uint64_t Stale = 0x5A5A5A5A5A5A5A5Aull; // the form that is not live
constexpr uint64_t Other[4] = {0x1111111111111111ull, 0x2222222222222222ull, 0x3333333333333333ull,
                               0x4444444444444444ull}; // the registers that are not the target

NibbleRegister& RegisterNumber(unsigned r)
{
    NibbleRegister* registers[4] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    return *registers[r];
}

struct Outcome {
    uint64_t Value;
    unsigned Carry;
    bool Intact; // PC, cost, P, the other registers and every stale form as they should be
};

// Runs 818 f s n once with register s & 3 holding value.
Outcome RunConstant(Machine& m, unsigned f, unsigned s, unsigned n, unsigned p, uint64_t value)
{
    const bool decimal = Cpu.DecimalMode;
    const unsigned target = s & 3;
    for (unsigned r = 0; r < 4; ++r) {
        const uint64_t live = r == target ? value : Other[r];
        korvane::WriteWord<false>(RegisterNumber(r), decimal ? Stale : live);
        korvane::WriteWord<true>(RegisterNumber(r), decimal ? live : Stale);
    }
    korvane::SetP(static_cast<uint8_t>(p));
    Cpu.Carry = 1 - (value & 1); // the old Carry plays no part
    Cpu.PC = Origin;
    Cpu.SliceCycles = 0;
    const uint8_t opcode[6] = {8, 1, 8, static_cast<uint8_t>(f), static_cast<uint8_t>(s), static_cast<uint8_t>(n)};
    std::copy(opcode, opcode + 6, m.Rom.begin() + Origin);
    m.step();

    bool intact = Cpu.PC == Origin + 6 && Cpu.SliceCycles == (s < 8 ? 32 : 34) + 4 * (n + 1) && Cpu.P == p;
    for (unsigned r = 0; r < 4; ++r) {
        const NibbleRegister& reg = RegisterNumber(r);
        intact = intact && (decimal ? korvane::ReadWord<false>(reg) : korvane::ReadWord<true>(reg)) == Stale;
        intact = intact && (r == target || test::Value(reg) == Other[r]);
    }
    return {test::Value(RegisterNumber(target)), Cpu.Carry, intact};
}

void SelectMode(bool decimal)
{
    decimal ? korvane::SwitchToDecimal() : korvane::SwitchToHex();
}

// The rule as a list of positions on a 16-element nibble array: the amount
// enters at the first position, a carry or borrow of 1 goes to the next,
// and Carry is what leaves the last one.
std::vector<unsigned> Positions(unsigned fieldCode, unsigned p)
{
    auto run = [](unsigned first, unsigned count) {
        std::vector<unsigned> list;
        for (unsigned i = 0; i < count; ++i)
            list.push_back((first + i) % 16);
        return list;
    };
    switch (fieldCode) {
    case 0: return run(p, 17);                          // P
    case 1: return p == 0 ? run(0, 17) : run(0, p + 1); // WP
    case 2: return run(2, 17);                          // XS
    case 3: return run(0, 3);                           // X
    case 4: return run(15, 17);                         // S
    case 5: return run(3, 12);                          // M
    case 6: return run(0, 2);                           // B
    case 7: return run(0, 16);                          // W
    default: return run(0, 5);                          // A
    }
}

Outcome Model(uint64_t value, unsigned fieldCode, bool add, unsigned k, unsigned p)
{
    std::array<int, 16> nibble{};
    for (unsigned i = 0; i < 16; ++i)
        nibble[i] = static_cast<int>((value >> (4 * i)) & 15);
    int amount = static_cast<int>(k);
    for (unsigned position : Positions(fieldCode, p)) {
        int d = add ? nibble[position] + amount : nibble[position] - amount;
        amount = d < 0 || d > 15 ? 1 : 0;
        nibble[position] = (d + 32) % 16;
        if (amount == 0)
            break;
    }
    uint64_t result = 0;
    for (unsigned i = 0; i < 16; ++i)
        result |= uint64_t(nibble[i]) << (4 * i);
    return {result, static_cast<unsigned>(amount), true};
}

struct Example {
    unsigned FieldCode;
    unsigned S; // 0-3 add to A-D, 8-B subtract from A-D
    unsigned K;
    unsigned P;
    uint64_t Before;
    uint64_t After;
    unsigned Carry;
};

constexpr unsigned FP = 0, FWP = 1, FXS = 2, FX = 3, FS = 4, FM = 5, FB = 6, FW = 7, FA = 8;

// Register values as sixteen digits, nibble 15 first.
const Example AddExamples[] = {
    {FP, 0, 1, 3, 0x000000000000F000, 0x0000000000010000, 0},
    {FP, 0, 1, 7, 0x00000000F0000000, 0x0000000100000000, 0},
    {FP, 0, 1, 7, 0x00000000E0000000, 0x00000000F0000000, 0},
    {FP, 0, 1, 15, 0xF0000000FFFFFFFF, 0x0000000100000000, 0},
    {FS, 0, 1, 0, 0xF0000000FFFFFFFF, 0x0000000100000000, 0},
    {FS, 0, 1, 0, 0xF000000000000003, 0x0000000000000004, 0},
    {FXS, 0, 1, 0, 0xFFFFFFFFFFFFFFFF, 0x0000000000000100, 0},
    {FXS, 0, 16, 0, 0xFFFFFFFFFFFFFFFF, 0x0000000000000000, 1},
    {FS, 0, 16, 0, 0xF000000000000000, 0xF000000000000001, 0},
    {FP, 0, 16, 5, 0x0000000000000000, 0x0000000001000000, 0},
    {FWP, 0, 2, 0, 0x00000000000000FF, 0x0000000000000101, 0},
    {FWP, 0, 2, 1, 0x00000000000000FF, 0x0000000000000001, 1},
    {FWP, 0, 1, 7, 0x9ABCDEF0FFFFFFFF, 0x9ABCDEF000000000, 1},
    {FWP, 0, 1, 15, 0xFFFFFFFFFFFFFFFF, 0x0000000000000000, 1},
    {FX, 0, 1, 0, 0x1234567890ABCFFF, 0x1234567890ABC000, 1},
    {FM, 0, 1, 0, 0x0FFFFFFFFFFFF000, 0x0000000000000000, 1},
    {FW, 0, 16, 0, 0xFFFFFFFFFFFFFFF0, 0x0000000000000000, 1},
    {FA, 0, 16, 0, 0x00000000000FFFF0, 0x0000000000000000, 1},
    {FB, 1, 1, 0, 0x0000000000000009, 0x000000000000000A, 0}, // B=B+1: 9 + 1 is A, not 10
};

const Example SubtractExamples[] = {
    {FP, 8, 1, 3, 0x0000000000010000, 0x000000000000F000, 0},
    {FP, 8, 1, 7, 0x0000000100000000, 0x00000000F0000000, 0},
    {FP, 8, 1, 7, 0x0000000010000000, 0x0000000000000000, 0},
    {FP, 8, 1, 7, 0x0000000000000000, 0xFFFFFFFFEFFFFFFF, 0},
    {FP, 8, 9, 7, 0x0000000010000001, 0xFFFFFFFF80000000, 0},
    {FP, 8, 1, 15, 0x0000000100000000, 0xF0000000FFFFFFFF, 0},
    {FS, 8, 1, 0, 0x0000000100000000, 0xF0000000FFFFFFFF, 0},
    {FS, 8, 1, 0, 0x0000000000000004, 0xF000000000000003, 0},
    {FS, 8, 1, 0, 0x0000010000000000, 0xF00000FFFFFFFFFF, 0},
    {FS, 8, 1, 0, 0x0000000000000000, 0xEFFFFFFFFFFFFFFF, 0},
    {FXS, 8, 1, 0, 0x0000000000000000, 0xFFFFFFFFFFFFFEFF, 0},
    {FXS, 8, 16, 0, 0x0000000000000000, 0xFFFFFFFFFFFFFFFF, 1},
    {FS, 8, 16, 0, 0xF000000000000001, 0xF000000000000000, 0},
    {FP, 8, 16, 5, 0x0000000001000000, 0x0000000000000000, 0},
    {FP, 8, 5, 3, 0x0000000004000200, 0x0000000003FFB200, 0},
    {FWP, 8, 2, 0, 0x0000000000000101, 0x00000000000000FF, 0},
    {FWP, 8, 2, 1, 0x0000000000000101, 0x00000000000001FF, 1},
    {FWP, 8, 1, 7, 0x9ABCDEF000000000, 0x9ABCDEF0FFFFFFFF, 1},
    {FWP, 8, 1, 15, 0x0000000000000000, 0xFFFFFFFFFFFFFFFF, 1},
    {FX, 8, 1, 0, 0x1234567890ABC000, 0x1234567890ABCFFF, 1},
    {FX, 0xA, 16, 0, 0x0000000000000123, 0x0000000000000113, 0}, // C=C-16
    {FX, 0xA, 16, 0, 0x000000000000000F, 0x0000000000000FFF, 1},
    {FM, 8, 1, 0, 0x0000000000000000, 0x0FFFFFFFFFFFF000, 1},
    {FW, 8, 16, 0, 0x000000000000000F, 0xFFFFFFFFFFFFFFFF, 1},
    {FA, 8, 16, 0, 0x000000000000000F, 0x00000000000FFFFF, 1},
    {FB, 9, 1, 0, 0x0000000000000010, 0x000000000000000F, 0}, // B=B-1: 10 - 1 is F, not 09
    {FB, 9, 1, 0, 0x0000000000000000, 0x00000000000000FF, 1},
};

// Each example in both modes; field A for every code 8 to F alike.
TEST(ConstantArithmetic, WorkedExamples)
{
    Machine m;
    for (bool decimal : {false, true}) {
        SelectMode(decimal);
        for (const auto& examples : {std::vector<Example>(std::begin(AddExamples), std::end(AddExamples)),
                                     std::vector<Example>(std::begin(SubtractExamples), std::end(SubtractExamples))}) {
            for (const Example& e : examples) {
                for (unsigned code = e.FieldCode; code <= (e.FieldCode == FA ? 15 : e.FieldCode); ++code) {
                    SCOPED_TRACE(testing::Message() << std::hex << "818" << code << e.S << (e.K - 1) << " P=" << e.P
                                                    << " value " << e.Before << " decimal " << decimal);
                    const Outcome got = RunConstant(m, code, e.S, e.K - 1, e.P, e.Before);
                    EXPECT_TRUE(got.Intact);
                    EXPECT_EQ(got.Value, e.After) << std::hex << got.Value;
                    EXPECT_EQ(got.Carry, e.Carry);
                }
            }
        }
    }
}

// Register values with long runs of F and of 0 around every nibble, so that
// carries and borrows run far through the ring and stop at varied places.
std::vector<uint64_t> RunnyValues()
{
    std::vector<uint64_t> values = {0, ~0ull, 0x0123456789ABCDEFull, 0xFEDCBA9876543210ull, 0x7FFFFFFFFFFFFFFFull,
                                    0xFFFFFFFFFFFFFFFEull, 0x8000000000000000ull, 0x0000000000000001ull};
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 8; ++i) {
        uint64_t value = 0;
        for (unsigned k = 0; k < 16; ++k) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            const unsigned pick = (seed >> 60) & 3;
            const uint64_t nibble = pick == 0 ? 0 : pick == 1 ? (seed >> 40) & 15 : 15;
            value |= nibble << (4 * k);
        }
        values.push_back(value);
        values.push_back(~value);
    }
    return values;
}

// Every field code, register, direction, constant and P, in both modes,
// against the position model.
TEST(ConstantArithmetic, EveryMemberFollowsThePositionRule)
{
    Machine m;
    const std::vector<uint64_t> values = RunnyValues();
    int failures = 0;
    for (bool decimal : {false, true}) {
        SelectMode(decimal);
        for (unsigned f = 0; f < 16; ++f) {
            for (unsigned s : {0u, 1u, 2u, 3u, 8u, 9u, 10u, 11u}) {
                for (unsigned n = 0; n < 16; ++n) {
                    for (unsigned p = 0; p < 16; ++p) {
                        for (uint64_t value : values) {
                            const Outcome got = RunConstant(m, f, s, n, p, value);
                            const Outcome want = Model(value, f, s < 8, n + 1, p);
                            if (!got.Intact || got.Value != want.Value || got.Carry != want.Carry) {
                                ADD_FAILURE() << std::hex << "818" << f << s << n << " P=" << p << " decimal "
                                              << decimal << " value " << value << ": got " << got.Value << " carry "
                                              << got.Carry << ", want " << want.Value << " carry " << want.Carry
                                              << (got.Intact ? "" : " (other state changed)");
                                if (++failures >= 10)
                                    return;
                            }
                        }
                    }
                }
            }
        }
    }
}

} // namespace
