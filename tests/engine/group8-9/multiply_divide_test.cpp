// 81B8-81BB against values written out by hand, in both modes.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/field_model.h"

using korvane::Cpu;

namespace {

constexpr uint64_t MinusOne = ~0ull;
constexpr uint64_t Minimum = 0x8000000000000000;

TEST(MultiplyDivide, HandWorkedOperandsInBothModes)
{
    const struct { const char* Opcode; uint64_t C, A, Result; } cases[] = { // C before, A, C after
        {"81B8", MinusOne, MinusOne, 1},
        {"81B8", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFE00000001},
        {"81B8", 0x100000000, 0x100000000, 0},
        {"81B8", MinusOne, 7, 0xFFFFFFFFFFFFFFF9},
        {"81B9", 0xFEDCBA98765FFFFF, 0xFFFFF, 0xFEDCBA9876500001}, // C's upper nibbles stay
        {"81B9", 3, 0xFFFFFFFFFFF00004, 0xC},                      // A's upper nibbles ignored
        {"81B9", 0x1230000000001000, 0x1000, 0x1230000000000000},  // 0x1000000 cut to 20 bits
        {"81BA", 7, 0xFFFFFFFFFFFFFFFE, 0xFFFFFFFFFFFFFFFD},       // 7 / -2 = -3
        {"81BA", 0xFFFFFFFFFFFFFFF9, 2, 0xFFFFFFFFFFFFFFFD},       // -7 / 2 = -3
        {"81BA", 0xFFFFFFFFFFFFFFF9, 0xFFFFFFFFFFFFFFFE, 3},
        {"81BA", 0, 5, 0},
        {"81BA", 5, 0, 0x00000000FFFFFFFF},
        {"81BA", Minimum, MinusOne, Minimum}, // the one overflow
        {"81BA", Minimum, 2, 0xC000000000000000},
        {"81BB", 0xAAAAAAAAAAAFFFFF, 2, 0xAAAAAAAAAAA7FFFF},
        {"81BB", 0x5555555555512345, 0xFFFFFFFFFFF00000, 0x55555555555FFFFF}, // A.A is 0
        {"81BB", 0x80000, 0xF, 0x8888},
        {"81BB", 3, 7, 0},
    };
    test::Machine m;
    for (bool decimal : {false, true}) {
        test::EnterMode(decimal);
        for (const auto& c : cases) {
            test::Program p(0x01000);
            m.load(p.op(c.Opcode));
            test::LoadLive(Cpu.A, c.A, decimal);
            test::LoadLive(Cpu.C, c.C, decimal);
            Cpu.Carry = 1;
            Cpu.SliceCycles = 0;
            m.step();
            const uint32_t cost = c.Opcode[3] == '8' || c.Opcode[3] == 'A' ? 21 : 10;
            EXPECT_EQ(std::tuple(test::LiveOf(Cpu.C, decimal), test::LiveOf(Cpu.A, decimal), Cpu.PC, Cpu.SliceCycles,
                                 Cpu.Carry, test::StaleUntouched(Cpu.C, decimal)),
                      std::tuple(c.Result, c.A, 0x01004u, cost, uint8_t{1}, true))
                << c.Opcode << std::hex << " C=" << c.C << " A=" << c.A << (decimal ? " dec" : " hex");
        }
    }
}

} // namespace
