// Every instruction text the assembler knows: its opcode has the length the
// opcode map gives it, and no two texts share an opcode except where two
// spellings mean one instruction on purpose.
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>

#include "saturn_asm/assembler.h"
#include "saturn_asm/instruction_forms.h"

namespace saturn {
namespace {

unsigned Digit(char c)
{
    return static_cast<unsigned>(c <= '9' ? c - '0' : c - 'A' + 10);
}

// The opcode's length in nibbles by the opcode map, without a branch tail.
unsigned OpcodeLength(const std::string& n)
{
    switch (Digit(n[0])) {
    case 0x0:
        return n[1] == 'E' ? 4 : 2;
    case 0x1:
        return n[1] == '5' ? 4 : 3;
    case 0x4:
    case 0x5:
        return 3;
    case 0x6:
        return n[1] == '3' ? 4 : 5; // NOP4, NOP5
    case 0x8:
        switch (Digit(n[1])) {
        case 0x0:
            if (n[2] == 'C' || n[2] == 'D' || n[2] == 'F')
                return 4;
            if (n[2] != '8')
                return 3;
            return n[3] == '1' || (Digit(n[3]) >= 4 && Digit(n[3]) <= 0xB) ? 5 : 4;
        case 0x1:
            switch (Digit(n[2])) {
            case 0x8:
            case 0xA:
                return 6;
            case 0x9:
                return 5;
            case 0xB:
                return 4;
            default:
                return 3;
            }
        default:
            return 3;
        }
    case 0x9:
    case 0xA:
    case 0xB:
        return 3;
    default:
        return 2; // C to F
    }
}

TEST(InstructionForms, EveryOpcodeHasTheLengthOfTheOpcodeMap)
{
    EXPECT_GT(FixedForms().size(), 3000u);
    for (const auto& [text, form] : FixedForms()) {
        EXPECT_EQ(form.Nibbles.size(), OpcodeLength(form.Nibbles)) << text;
        const Assembly assembly = Assemble(text + (form.Test ? " RTNYES" : ""));
        ASSERT_TRUE(assembly.ok()) << text;
        EXPECT_EQ(assembly.flat().size(), form.Nibbles.size() + (form.Test ? 2 : 0)) << text;
    }
}

TEST(InstructionForms, OnlyIntendedSpellingsShareAnOpcode)
{
    std::map<std::string, std::set<std::string>> texts;
    for (const auto& [text, form] : FixedForms())
        texts[form.Nibbles].insert(text);
    for (const auto& [nibbles, spellings] : texts) {
        if (spellings.size() == 1)
            continue;
        ASSERT_EQ(spellings.size(), 2u) << nibbles;
        const std::string plain = *spellings.begin(), other = *spellings.rbegin();
        // A constant addition on field A, written with and without its field.
        const bool constant = nibbles.compare(0, 4, "818F") == 0 && other == plain + ".A";
        // The disassembler's "?SB=0&SR=0?MP=0" and its regular spelling.
        const bool quirk = nibbles == "83E";
        EXPECT_TRUE(constant || quirk) << plain << " and " << other;
    }
}

} // namespace
} // namespace saturn
