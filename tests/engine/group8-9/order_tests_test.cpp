// ?r>s, ?r<s, ?r>=s and ?r<=s (8Bb, 9ab with a 8-F) against unsigned field
// values computed from the nibbles, in both modes and around the word seam.
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

// Registers that share most nibbles, so that the deciding nibble moves
// through the field, with high nibbles above 7 to catch signed compares.
std::vector<Registers> Samples()
{
    std::vector<Registers> samples = {
        {0x0000000100000000, 0x00000000FFFFFFFF, 0x0000000080000000, 0x000000007FFFFFFF},
        {0x8000000000000000, 0x7FFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 0},
        {0x00000000000F0000, 0x0000000000080000, 0x000000000007FFFF, 0x000000000000000A},
        {0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF},
    };
    test::Lcg rng{0xBADC0DE};
    for (int i = 0; i < 36; ++i) {
        const uint64_t base = rng.next();
        uint64_t regs[4];
        for (uint64_t& reg : regs) {
            reg = base;
            for (unsigned changes = rng.below(3); changes > 0; --changes) {
                const unsigned k = rng.below(16);
                reg = (reg & ~(uint64_t{15} << (4 * k))) | uint64_t{rng.below(16)} << (4 * k);
            }
        }
        samples.push_back({regs[0], regs[1], regs[2], regs[3]});
    }
    return samples;
}

bool Expected(const Registers& r, unsigned b, test::FieldRange f)
{
    const uint64_t first[] = {r.A, r.B, r.C, r.D};
    const uint64_t second[] = {r.B, r.C, r.A, r.C};
    const uint64_t x = test::FieldValue(first[b & 3], f);
    const uint64_t y = test::FieldValue(second[b & 3], f);
    switch (b >> 2) {
    case 0: return x > y;
    case 1: return x < y;
    case 2: return x >= y;
    default: return x <= y;
    }
}

TEST(OrderTests, EveryComparisonOnEveryFieldMatchesTheNibbleModel)
{
    const std::vector<Registers> samples = Samples();
    Machine m;
    for (bool decimal : {false, true}) {
        test::EnterMode(decimal);
        for (unsigned code = 0; code <= 8; ++code) { // 8: field A, opcode 8Bb
            for (unsigned b = 0; b < 16; ++b) {
                char opcode[4];
                std::snprintf(opcode, sizeof opcode, code == 8 ? "8B%X" : "9%X%X", code == 8 ? b : code + 8, b);
                test::PlaceTest(m, opcode);
                for (unsigned p : {0u, 1u, 6u, 7u, 8u, 9u, 15u}) {
                    const test::FieldRange f = test::RangeOfField(code, p);
                    const uint32_t cost = 34 + 4 * (f.High - f.Low + 1);
                    for (const Registers& r : samples) {
                        Apply(r, decimal, p);
                        const std::string diff = test::StepAndCompare(m, 3, Expected(r, b, f), cost);
                        ASSERT_EQ(diff, "") << opcode << (decimal ? " dec" : " hex") << " P=" << p
                                            << " A=" << test::Hex(r.A) << " B=" << test::Hex(r.B)
                                            << " C=" << test::Hex(r.C) << " D=" << test::Hex(r.D);
                    }
                }
            }
        }
    }
}

// Written out by hand: A = 16^8 against B = 0xFFFFFFFF, and a lone F in
// nibble 2 against F everywhere else.
TEST(OrderTests, TheHighWordDecidesFirstAcrossTheSeam)
{
    struct Case {
        const char* Opcode;
        unsigned P;
        uint32_t Cost;
        bool Seam;   // A = 0x0000000100000000, B = 0x00000000FFFFFFFF
        bool Nibble; // A = 0x0000000000000F00, B = 0xFFFFFFFFFFFFF0FF
    };
    const Case cases[] = {
        {"9F0", 0, 98, true, false},  // ?A>B.W
        {"990", 7, 66, false, false}, // ?A>B.WP, the low word only
        {"990", 8, 70, true, false},  // nibble 8 joins
        {"990", 15, 98, true, false}, // as W
        {"980", 7, 38, false, false}, // ?A>B.P on nibble 7
        {"980", 8, 38, true, false},  // on nibble 8
        {"9D0", 0, 82, true, false},  // ?A>B.M: nibble 8 outweighs 3-7
        {"9A0", 0, 38, false, true},  // XS
        {"9B0", 0, 46, false, true},  // X: 0xF00 against 0x0FF
        {"9E0", 0, 42, false, false}, // B
        {"8B0", 0, 54, false, false}, // A
        {"9C0", 0, 38, false, false}, // S
        {"9C4", 0, 38, false, true},  // ?A<B.S
        {"9D8", 0, 82, true, false},  // ?A>=B.M
        {"9DC", 0, 82, false, true},  // ?A<=B.M
    };
    for (bool decimal : {false, true}) {
        Machine m;
        test::EnterMode(decimal);
        for (const Case& c : cases) {
            test::PlaceTest(m, c.Opcode);
            Apply({0x0000000100000000, 0x00000000FFFFFFFF, 0, 0}, decimal, c.P);
            EXPECT_EQ(test::StepAndCompare(m, 3, c.Seam, c.Cost), "") << c.Opcode << " P=" << c.P << " seam";
            Apply({0x0000000000000F00, 0xFFFFFFFFFFFFF0FF, 0, 0}, decimal, c.P);
            EXPECT_EQ(test::StepAndCompare(m, 3, c.Nibble, c.Cost), "") << c.Opcode << " P=" << c.P << " nibble";
        }
    }
}

TEST(OrderTests, ComparisonsAreUnsignedAndEqualValuesSplitTheRelations)
{
    for (bool decimal : {false, true}) {
        Machine m;
        test::EnterMode(decimal);
        test::PlaceTest(m, "8B0"); // ?A>B.A
        Apply({0x80000, 0x7FFFF, 0, 0}, decimal, 0);
        EXPECT_EQ(test::StepAndCompare(m, 3, true, 54), "");
        test::PlaceTest(m, "8B4"); // ?A<B.A
        EXPECT_EQ(test::StepAndCompare(m, 3, false, 54), "");
        test::PlaceTest(m, "980"); // ?A>B.P: nibble A above nibble 9
        Apply({0xA, 0x9, 0, 0}, decimal, 0);
        EXPECT_EQ(test::StepAndCompare(m, 3, true, 38), "");

        Apply({0x12345, 0x12345, 0x12345, 0x12345}, decimal, 0);
        const char* strict[] = {"8B0", "8B1", "8B2", "8B3", "8B4", "8B5", "8B6", "8B7"};
        const char* loose[] = {"8B8", "8B9", "8BA", "8BB", "8BC", "8BD", "8BE", "8BF"};
        for (const char* op : strict) {
            test::PlaceTest(m, op);
            EXPECT_EQ(test::StepAndCompare(m, 3, false, 54), "") << op;
        }
        for (const char* op : loose) {
            test::PlaceTest(m, op);
            EXPECT_EQ(test::StepAndCompare(m, 3, true, 54), "") << op;
        }
    }
}

} // namespace
