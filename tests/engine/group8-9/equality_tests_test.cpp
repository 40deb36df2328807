// ?r=s, ?r#s, ?r=0 and ?r#0 (8Ab, 9ab with a 0-7) against field values
// computed from the nibbles, in both modes and around the word seam.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/branch_check.h"
#include "tests/engine/group8-9/register_model.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;

namespace {

struct Registers {
    uint64_t A, B, C, D;
};

void Apply(const Registers& r, bool decimal, unsigned p)
{
    test::LoadLive(Cpu.A, r.A, decimal);
    test::LoadLive(Cpu.B, r.B, decimal);
    test::LoadLive(Cpu.C, r.C, decimal);
    test::LoadLive(Cpu.D, r.D, decimal);
    korvane::SetP(static_cast<uint8_t>(p));
}

// Registers that often agree over part of a field: a shared base with a
// nibble or two changed, many zero nibbles, and values at the word seam.
std::vector<Registers> Samples()
{
    std::vector<Registers> samples = {
        {0x0000000100000000, 0x00000000FFFFFFFF, 0, 0},
        {0x0000000000000000, 0x0000000000000000, 0, 0},
        {0xF000000000000000, 0xE000000000000000, 0x0FFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF},
        {0x0000000F00000000, 0x00000000F0000000, 0x0000000000000F00, 0x00000000000F0000},
    };
    test::Lcg rng{0xC0FFEE};
    static const uint8_t alphabet[] = {0, 0, 0, 1, 7, 8, 9, 0xA, 0xF};
    for (int i = 0; i < 36; ++i) {
        uint64_t base = 0;
        for (unsigned k = 0; k < 16; ++k)
            base |= uint64_t{alphabet[rng.below(sizeof alphabet)]} << (4 * k);
        uint64_t regs[4];
        for (uint64_t& reg : regs) {
            reg = base;
            for (unsigned changes = rng.below(3); changes > 0; --changes)
                reg ^= uint64_t{1 + rng.below(15)} << (4 * rng.below(16));
            if (rng.below(4) == 0)
                reg = 0;
        }
        samples.push_back({regs[0], regs[1], regs[2], regs[3]});
    }
    return samples;
}

// b AND 3: the pair, or the one register of a zero test.
uint64_t First(const Registers& r, unsigned b)
{
    const uint64_t regs[] = {r.A, r.B, r.C, r.D};
    return regs[b & 3];
}

uint64_t Second(const Registers& r, unsigned b)
{
    const uint64_t regs[] = {r.B, r.C, r.A, r.C};
    return regs[b & 3];
}

bool Expected(const Registers& r, unsigned b, test::FieldRange f)
{
    const uint64_t x = test::FieldValue(First(r, b), f);
    const uint64_t y = test::FieldValue(Second(r, b), f);
    switch (b >> 2) {
    case 0: return x == y;
    case 1: return x != y;
    case 2: return x == 0;
    default: return x != 0;
    }
}

TEST(EqualityTests, EveryTestOnEveryFieldMatchesTheNibbleModel)
{
    const std::vector<Registers> samples = Samples();
    Machine m;
    for (bool decimal : {false, true}) {
        test::EnterMode(decimal);
        for (unsigned code = 0; code <= 8; ++code) { // 8: field A, opcode 8Ab
            for (unsigned b = 0; b < 16; ++b) {
                char opcode[4];
                std::snprintf(opcode, sizeof opcode, code == 8 ? "8A%X" : "9%X%X", code == 8 ? b : code, b);
                test::PlaceTest(m, opcode);
                for (unsigned p : {0u, 1u, 2u, 7u, 8u, 14u, 15u}) {
                    const test::FieldRange f = test::RangeOfField(code, p);
                    const uint32_t cost = 34 + 4 * (f.High - f.Low + 1);
                    for (const Registers& r : samples) {
                        Apply(r, decimal, p);
                        const std::string diff = test::StepAndCompare(m, 3, Expected(r, b, f), cost);
                        ASSERT_EQ(diff, "") << opcode << (decimal ? " dec" : " hex") << " P=" << p
                                            << " A=" << test::Hex(r.A) << " B=" << test::Hex(r.B)
                                            << " C=" << test::Hex(r.C) << " D=" << test::Hex(r.D);
                        ASSERT_TRUE(test::StaleUntouched(Cpu.A, r.A, decimal));
                    }
                }
            }
        }
    }
}

// Written out by hand: A and B differ in nibble 2 alone, or in nibble 15.
TEST(EqualityTests, OnlyTheFieldsNibblesCount)
{
    struct Case {
        const char* Opcode; // ?A=B on a field
        unsigned P;
        uint32_t Cost;
        bool Nibble2Agrees;
        bool Nibble15Agrees;
    };
    const Case cases[] = {
        {"920", 0, 38, false, true},  // XS
        {"930", 0, 46, false, true},  // X
        {"970", 0, 98, false, false}, // W
        {"8A0", 0, 54, false, true},  // A
        {"950", 0, 82, true, true},   // M
        {"940", 0, 38, true, false},  // S
        {"960", 0, 42, true, true},   // B
        {"900", 2, 38, false, true},  // P
        {"900", 3, 38, true, true},
        {"900", 15, 38, true, false},
        {"910", 0, 38, true, true},   // WP
        {"910", 1, 42, true, true},
        {"910", 2, 46, false, true},
        {"910", 7, 66, false, true},
        {"910", 8, 70, false, true},
        {"910", 14, 94, false, true},
        {"910", 15, 98, false, false},
    };
    const uint64_t a = 0x0123456789ABCDEF;
    for (bool decimal : {false, true}) {
        Machine m;
        test::EnterMode(decimal);
        for (const Case& c : cases) {
            test::PlaceTest(m, c.Opcode);
            Apply({a, a ^ 0x0000000000000800, 0, 0}, decimal, c.P);
            EXPECT_EQ(test::StepAndCompare(m, 3, c.Nibble2Agrees, c.Cost), "") << c.Opcode << " P=" << c.P;
            Apply({a, a ^ 0x1000000000000000, 0, 0}, decimal, c.P);
            EXPECT_EQ(test::StepAndCompare(m, 3, c.Nibble15Agrees, c.Cost), "") << c.Opcode << " P=" << c.P;
        }
    }
}

// The zero tests ignore what lies outside the field.
TEST(EqualityTests, ZeroTestsLookOnlyAtTheField)
{
    for (bool decimal : {false, true}) {
        Machine m;
        test::EnterMode(decimal);
        test::PlaceTest(m, "978"); // ?A=0 on W
        Apply({0x1000000000000000, 0, 0, 0}, decimal, 0);
        EXPECT_EQ(test::StepAndCompare(m, 3, false, 98), "");
        test::PlaceTest(m, "958"); // ?A=0 on M: nibbles 0-2 and 15 do not count
        Apply({0xF000000000000FFF, 0, 0, 0}, decimal, 0);
        EXPECT_EQ(test::StepAndCompare(m, 3, true, 82), "");
        test::PlaceTest(m, "8A8"); // ?A=0 on A: nibbles 5-15 do not count
        Apply({0xFFFFFFFFFFF00000, 0, 0, 0}, decimal, 0);
        EXPECT_EQ(test::StepAndCompare(m, 3, true, 54), "");
        test::PlaceTest(m, "8AE"); // ?C#0 on A, the same C
        Apply({0, 0, 0xFFFFFFFFFFF00000, 0}, decimal, 0);
        EXPECT_EQ(test::StepAndCompare(m, 3, false, 54), "");
    }
}

} // namespace
