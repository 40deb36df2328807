// 81B8-81BB against values written out by hand, in both modes.
#include <gtest/gtest.h>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/register_model.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;
using test::Program;

namespace {

struct Case {
    const char* Opcode;
    uint64_t C;
    uint64_t A;
    uint64_t Result; // C afterwards
};

void RunCases(const Case* begin, const Case* end, uint32_t cost)
{
    for (bool decimal : {false, true}) {
        for (const Case* c = begin; c != end; ++c) {
            SCOPED_TRACE(testing::Message() << c->Opcode << " C=" << test::Hex(c->C) << " A=" << test::Hex(c->A)
                                            << (decimal ? " dec" : " hex"));
            Machine m;
            Program p(0x01000);
            p.op(c->Opcode);
            m.load(p);
            test::EnterMode(decimal);
            test::LoadLive(Cpu.A, c->A, decimal);
            test::LoadLive(Cpu.C, c->C, decimal);
            test::LoadLive(Cpu.B, 0x1111, decimal);
            Cpu.Carry = 1;
            m.step();
            EXPECT_EQ(test::Hex(test::LiveOf(Cpu.C, decimal)), test::Hex(c->Result));
            EXPECT_EQ(test::LiveOf(Cpu.A, decimal), c->A);
            EXPECT_EQ(test::LiveOf(Cpu.B, decimal), 0x1111u);
            EXPECT_TRUE(test::StaleUntouched(Cpu.C, c->C, decimal));
            EXPECT_TRUE(test::StaleUntouched(Cpu.A, c->A, decimal));
            EXPECT_EQ(Cpu.PC, 0x01004u);
            EXPECT_EQ(Cpu.SliceCycles, cost);
            EXPECT_EQ(Cpu.Carry, 1);
        }
    }
}

constexpr uint64_t MinusOne = 0xFFFFFFFFFFFFFFFF;
constexpr uint64_t Minimum = 0x8000000000000000;

TEST(MultiplyDivide, WordMultiplyKeepsTheLow64Bits)
{
    const Case cases[] = {
        {"81B8", MinusOne, MinusOne, 1},
        {"81B8", 0x123456789, 0x10, 0x1234567890},
        {"81B8", 0x100000000, 0x100000000, 0},
        {"81B8", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFE00000001},
        {"81B8", MinusOne, 7, 0xFFFFFFFFFFFFFFF9}, // -1 x 7
        {"81B8", 0xABCDEF, 0, 0},
    };
    RunCases(std::begin(cases), std::end(cases), 21);
}

TEST(MultiplyDivide, AddressMultiplyKeepsTheUpperNibblesOfC)
{
    const Case cases[] = {
        {"81B9", 0xFEDCBA98765FFFFF, 0x00000000000FFFFF, 0xFEDCBA9876500001},
        {"81B9", 0x0000000000000003, 0xFFFFFFFFFFF00004, 0x000000000000000C}, // A's upper nibbles ignored
        {"81B9", 0x1230000000001000, 0x0000000000001000, 0x1230000000000000}, // 0x1000000 cut to 20 bits
        {"81B9", 0x0000000000012345, 0x0000000000000000, 0},
    };
    RunCases(std::begin(cases), std::end(cases), 10);
}

TEST(MultiplyDivide, WordDivideIsSignedWithFixedAnswersForTheEdges)
{
    const Case cases[] = {
        {"81BA", 7, 0xFFFFFFFFFFFFFFFE, 0xFFFFFFFFFFFFFFFD},                  // 7 / -2 = -3
        {"81BA", 0xFFFFFFFFFFFFFFF9, 2, 0xFFFFFFFFFFFFFFFD},                  // -7 / 2 = -3
        {"81BA", 0xFFFFFFFFFFFFFFF9, 0xFFFFFFFFFFFFFFFE, 3},                  // -7 / -2 = 3
        {"81BA", 0, 5, 0},
        {"81BA", 100, 7, 14},
        {"81BA", 5, 0, 0x00000000FFFFFFFF},
        {"81BA", 0, 0, 0x00000000FFFFFFFF},
        {"81BA", Minimum, MinusOne, Minimum},                                 // the one overflow
        {"81BA", Minimum, 1, Minimum},
        {"81BA", Minimum, 2, 0xC000000000000000},
        {"81BA", 0x7FFFFFFFFFFFFFFF, MinusOne, 0x8000000000000001},
    };
    RunCases(std::begin(cases), std::end(cases), 21);
}

TEST(MultiplyDivide, AddressDivideIsUnsignedAndKeepsTheUpperNibblesOfC)
{
    const Case cases[] = {
        {"81BB", 0xAAAAAAAAAAAFFFFF, 0x0000000000000002, 0xAAAAAAAAAAA7FFFF},
        {"81BB", 0x5555555555512345, 0x0000000000000000, 0x55555555555FFFFF},
        {"81BB", 0x0000000000012345, 0xFFFFFFFFFFF00000, 0x00000000000FFFFF}, // A.A is 0
        {"81BB", 0x0000000000080000, 0x000000000000000F, 0x0000000000008888},
        {"81BB", 0x0000000000000003, 0x0000000000000007, 0},
    };
    RunCases(std::begin(cases), std::end(cases), 10);
}

} // namespace
