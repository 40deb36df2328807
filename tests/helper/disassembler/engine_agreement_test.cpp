// The disassembler against the processor itself: the engine steps each
// instruction that runs straight on, and goes on at the next address the
// disassembler gives. Two independent readings of the opcode map catch
// each other's slips.
#include <gtest/gtest.h>
#include <string>
#include <string_view>

#include "tests/helper/disassembler/disassemble.h"

namespace {

using test::Calculator;
using test::Disassemble;

constexpr uint32_t Origin = 0x40000;

// Instructions after which the processor goes on with the next one: no
// jump, return, test, undefined code (which the processor does not step
// over), sleep, memory reconfiguration or interrupt.
bool RunsStraightOn(std::string_view text)
{
    for (std::string_view leaving : {"GO", "RTN", "RTI", "NOP4", "NOP5", "PC=", "APCEX", "CPCEX", "?", "Unkown",
                                     "SHUTDN", "RESET", "CONFIG", "UNCNFG", "INTON", "RSI"}) {
        if (text.substr(0, leaving.size()) == leaving)
            return false;
    }
    return text.find("YES") == std::string_view::npos;
}

// Where the processor goes after the instruction at the origin.
uint32_t Step()
{
    KVSetRegister(KV_REG_PC, Origin);
    KVStep();
    return KVGetRegister(KV_REG_PC);
}

// Every code of up to four nibbles, with the nibbles after it all 0, all 5,
// all 8 or all F (so LC, LA and 15an take each kind of count).
TEST(DisassemblerAndEngine, EveryStraightInstructionIsAsLongAsTheProcessorSteps)
{
    Calculator calculator;
    unsigned compared = 0;
    for (uint32_t code = 0; code < 0x10000; ++code) {
        for (char fill : {'0', '5', '8', 'F'}) {
            const std::string nibbles = test::Hex(code, 4) + std::string(20, fill);
            test::PlaceNibbles(calculator, Origin, nibbles);
            const test::Disassembled text = Disassemble(Origin);
            if (!RunsStraightOn(text.Text))
                continue;
            ASSERT_EQ(Step(), text.Next) << nibbles << " " << text.Text;
            ++compared;
        }
    }
    EXPECT_GT(compared, 150000u) << "most codes run straight on";
}

} // namespace
