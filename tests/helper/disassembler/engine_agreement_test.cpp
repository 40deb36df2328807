// The disassembler against the processor itself: the engine steps each
// instruction, and where it goes next is what the text and the next address
// say. Two independent readings of the opcode map catch each other's slips.
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

#include "tests/helper/disassembler/disassemble.h"

namespace {

using test::Calculator;
using test::Disassemble;

constexpr uint32_t Origin = 0x40000;
constexpr uint32_t CarryFlag = 1u << 9;

std::string Hex(uint32_t value, unsigned digits)
{
    std::string text;
    for (unsigned i = digits; i-- > 0;)
        text += "0123456789ABCDEF"[(value >> (4 * i)) & 15];
    return text;
}

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

// Places the nibbles at the origin and steps them with the flags given.
uint32_t Step(Calculator& calculator, uint32_t origin, const std::string& nibbles, uint32_t flags = 0)
{
    test::PlaceNibbles(calculator, origin, nibbles);
    KVSetRegister(KV_REG_FLAGS, flags);
    KVSetRegister(KV_REG_PC, origin);
    KVStep();
    return KVGetRegister(KV_REG_PC);
}

// The target a text names as "#" and five digits.
uint32_t NamedTarget(const std::string& text)
{
    const size_t hash = text.rfind('#');
    return hash == std::string::npos ? 0xFFFFFFFF : static_cast<uint32_t>(std::strtoul(text.c_str() + hash + 1, nullptr, 16));
}

// Every code of up to four nibbles, with the nibbles after it all 0, all 5,
// all 8 or all F (so LC, LA and 15an take each kind of count).
TEST(DisassemblerAndEngine, EveryStraightInstructionIsAsLongAsTheProcessorSteps)
{
    Calculator calculator;
    unsigned compared = 0;
    for (uint32_t code = 0; code < 0x10000; ++code) {
        for (char fill : {'0', '5', '8', 'F'}) {
            const std::string nibbles = Hex(code, 4) + std::string(20, fill);
            test::PlaceNibbles(calculator, Origin, nibbles);
            const test::Disassembled text = Disassemble(Origin);
            if (!RunsStraightOn(text.Text))
                continue;
            ASSERT_EQ(Step(calculator, Origin, nibbles), text.Next) << nibbles << " " << text.Text;
            ++compared;
        }
    }
    EXPECT_GT(compared, 150000u) << "most codes run straight on";
}

// Each relative and absolute jump, and a taken GOYES (ST, P and HST tests
// that hold with every flag clear), lands where the text says, at an origin
// near the bottom so that targets below 0 wrap.
TEST(DisassemblerAndEngine, JumpsAndBranchesLandOnTheTargetsTheTextNames)
{
    Calculator calculator;
    constexpr uint32_t Low = 0x00010;
    struct Family {
        const char* Prefix;
        unsigned OffsetNibbles;
        uint32_t Flags;
    };
    for (const Family& family : {Family{"4", 2, CarryFlag}, Family{"5", 2, 0}, Family{"6", 3, 0}, Family{"7", 3, 0},
                                 Family{"8C", 4, 0}, Family{"8E", 4, 0}, Family{"8D", 5, 0}, Family{"8F", 5, 0},
                                 Family{"865", 2, 0}, Family{"890", 2, 0}, Family{"830", 2, 0}}) {
        const unsigned span = family.OffsetNibbles == 2 ? 0x100 : 0x1000;
        for (uint32_t value = 1; value < span; ++value) {
            // Longer fields take the value spread over their span.
            const unsigned extra = family.OffsetNibbles > 3 ? 4 * (family.OffsetNibbles - 3) : 0;
            const uint32_t offset = value << extra | (value & ((1u << extra) - 1));
            std::string nibbles = family.Prefix;
            for (unsigned i = 0; i < family.OffsetNibbles; ++i)
                nibbles += "0123456789ABCDEF"[(offset >> (4 * i)) & 15];
            test::PlaceNibbles(calculator, Low, nibbles);
            const std::string text = Disassemble(Low).Text;
            if (text == "NOP4" || text == "NOP5")
                continue;
            ASSERT_EQ(Step(calculator, Low, nibbles, family.Flags), NamedTarget(text)) << nibbles << " " << text;
        }
    }
}

} // namespace
