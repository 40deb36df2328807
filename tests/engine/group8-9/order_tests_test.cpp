// ?r>s, ?r<s, ?r>=s and ?r<=s (8Bb, 9ab with a 8-F), unsigned.
#include <gtest/gtest.h>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/register_model.h"

using korvane::Cpu;
using test::Machine;

namespace {

// b AND 3 names the pair (A,B) (B,C) (C,A) (D,C); b >> 2 the relation.
bool Expected(unsigned b, const test::Registers& r, test::FieldRange f)
{
    const uint64_t x = test::FieldValue(r[b & 3], f);
    const uint64_t y = test::FieldValue(r[(b & 3) == 3 ? 2 : ((b & 3) + 1) % 3], f);
    const bool outcomes[] = {x > y, x < y, x >= y, x <= y};
    return outcomes[b >> 2];
}

TEST(OrderTests, EveryComparisonOnEveryFieldMatchesTheNibbleModel)
{
    test::SweepRegisterTests(0x8, 0xB, &Expected);
}

// Written out by hand: A = 16^8 against B = 0xFFFFFFFF, then a lone F in
// nibble 2 against F everywhere else.
TEST(OrderTests, TheHighWordDecidesFirstAcrossTheSeam)
{
    struct Case {
        const char* Opcode;
        unsigned P;
        uint32_t Cost;
        bool Seam, Nibble;
    };
    const Case cases[] = {
        {"9F0", 0, 98, true, false},  // ?A>B.W
        {"990", 7, 66, false, false}, // ?A>B.WP: the low word alone
        {"990", 8, 70, true, false},  // nibble 8 joins
        {"980", 7, 38, false, false}, // ?A>B.P on nibble 7
        {"980", 8, 38, true, false},  // on nibble 8
        {"9D0", 0, 82, true, false},  // ?A>B.M: nibble 8 outweighs 3-7
        {"9B0", 0, 46, false, true},  // ?A>B.X: 0xF00 against 0x0FF
        {"8B0", 0, 54, false, false}, // ?A>B.A
        {"9C4", 0, 38, false, true},  // ?A<B.S
        {"9DC", 0, 82, false, true},  // ?A<=B.M
        {"8B8", 0, 54, false, false}, // ?A>=B.A
    };
    for (bool decimal : {false, true}) {
        Machine m;
        test::EnterMode(decimal);
        for (const Case& c : cases) {
            korvane::SetP(static_cast<uint8_t>(c.P));
            test::LoadLive(Cpu.A, 0x0000000100000000, decimal);
            test::LoadLive(Cpu.B, 0x00000000FFFFFFFF, decimal);
            EXPECT_TRUE(test::StepTest(m, c.Opcode, c.Seam, c.Cost)) << "P=" << c.P;
            test::LoadLive(Cpu.A, 0x0000000000000F00, decimal);
            test::LoadLive(Cpu.B, 0xFFFFFFFFFFFFF0FF, decimal);
            EXPECT_TRUE(test::StepTest(m, c.Opcode, c.Nibble, c.Cost)) << "P=" << c.P;
        }
    }
}

} // namespace
