// The disassembler and the project's Saturn assembler read each other:
// every instruction form the assembler knows, assembled and written into
// the ROM image, disassembles to its own source text and length. Targets
// named in the source are registered as symbols, so they come back by name.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/helper/disassembler/disassemble.h"
#include "saturn_asm/assembler.h"
#include "saturn_asm/instruction_forms.h"

namespace {

using test::Calculator;

constexpr uint32_t Origin = 0x50000;

// The source in the disassembler's notation: a TAB between a mnemonic and
// its operand, the field of a constant addition left out (it is not
// shown), and 83E spelled as the disassembler spells it.
std::string Notation(std::string text)
{
    for (const char* mnemonic : {"P=", "LC(", "LA(", "D0=(", "D1=(", "GO"}) {
        if (text.rfind(mnemonic, 0) == 0 && text.find(' ') != std::string::npos) {
            text[text.find(' ')] = '\t';
            break;
        }
    }
    // r=r+k.f and r=r-k.f for k from 2: k = 1 with a field is the
    // increment or decrement of group B, which shows its field.
    const size_t dot = text.find('.');
    if (dot != std::string::npos && dot > 4 && text[1] == '=' && text[0] == text[2] && (text[3] == '+' || text[3] == '-')) {
        const std::string k = text.substr(4, dot - 4);
        if (k.find_first_not_of("0123456789") == std::string::npos && std::stoi(k) >= 2)
            text.erase(dot);
    }
    if (text.rfind("?SB=0&SR=0&MP=0", 0) == 0)
        text[10] = '?';
    return text;
}

class RoundTrip : public ::testing::Test {
protected:
    // Assembles the statement at the origin, writes it into memory through
    // the library, and checks the text and the length that come back.
    void Check(const std::string& statement, const std::string& definitions = "")
    {
        SCOPED_TRACE(statement);
        const saturn::Assembly assembly = saturn::Assemble(definitions + "\tORG #" + test::Hex(Origin, 5) + "\n\t" + statement + "\n");
        ASSERT_TRUE(assembly.ok()) << assembly.Errors.front().text();
        ASSERT_EQ(assembly.Chunks.size(), 1u);
        const std::vector<uint8_t>& nibbles = assembly.Chunks.front().Nibbles;
        for (uint32_t i = 0; i < nibbles.size(); ++i)
            KHWriteNibble(Origin + i, nibbles[i]);
        // NOP5 is a GOTO over one nibble that belongs to no instruction:
        // the assembler places it, the disassembler's instruction ends before.
        const uint32_t length = statement == "NOP5" ? 4 : static_cast<uint32_t>(nibbles.size());
        const test::Disassembled text = test::Disassemble(Origin);
        EXPECT_EQ(text.Text, Notation(statement));
        EXPECT_EQ(text.Next, Origin + length);
        ++Checked;
    }

    // A target known to the disassembler by name: a constant of the source
    // and a symbol of the library.
    std::string Named(uint32_t address)
    {
        const std::string name = "rt_" + test::Hex(address, 5);
        KHAddSymbol(address, name.c_str());
        return name;
    }

    Calculator Machine;
    unsigned Checked = 0;
};

TEST_F(RoundTrip, EveryFormWithoutAnOperand)
{
    for (const auto& [text, form] : saturn::FixedForms())
        Check(form.Test ? text + " RTNYES" : text);
    EXPECT_GT(Checked, 2000u);
}

TEST_F(RoundTrip, ConstantsPointersAndStatusBits)
{
    const std::string digits = "123456789ABCDEF0";
    for (unsigned n = 0; n < 16; ++n)
        Check("P= #" + std::to_string(n));
    for (unsigned count = 1; count <= 16; ++count) {
        Check("LC(" + std::to_string(count) + ") #" + digits.substr(0, count));
        Check("LA(" + std::to_string(count) + ") #" + digits.substr(16 - count));
    }
    for (const char* pointer : {"D0", "D1"}) {
        Check(std::string(pointer) + "=(2) #A5");
        Check(std::string(pointer) + "=(4) #0F0F");
        Check(std::string(pointer) + "=(5) #12345");
    }
    const char* const bits[4] = {"XM=0", "SB=0", "SR=0", "MP=0"};
    for (unsigned n = 1; n < 15; ++n) {
        std::string names;
        for (unsigned bit = 0; bit < 4; ++bit)
            if (n & (1u << bit))
                names.append(names.empty() ? "" : " ").append(bits[bit]);
        Check(names);
    }
}

// Each jump to targets near and far in both directions, some by name and
// some by number; every test's GOYES likewise.
TEST_F(RoundTrip, JumpsAndBranchesToNamedAndNumberedTargets)
{
    struct Family {
        const char* Mnemonic;
        int32_t Far;
    };
    for (const Family& family : {Family{"GOC", 120}, Family{"GONC", 120}, Family{"GOTO", 2000}, Family{"GOSUB", 2000},
                                 Family{"GOLONG", 32000}, Family{"GOSUBL", 32000}, Family{"GOVLNG", 0x40000},
                                 Family{"GOSBVL", 0x40000}, Family{"?A=B.A GOYES", 120}, Family{"?ST=1.3 GOYES", 120},
                                 Family{"?CBIT=0.7 GOYES", 120}, Family{"?D>=C.WP GOYES", 120}}) {
        const std::string mnemonic = family.Mnemonic;
        for (int32_t distance : {-family.Far, -2, 9, family.Far}) {
            const uint32_t target = Origin + static_cast<uint32_t>(distance);
            const std::string name = Named(target);
            Check(mnemonic + " " + name, name + " = #" + test::Hex(target, 5) + "\n");
            Check(mnemonic + " #" + test::Hex(target + 1, 5));
        }
    }
    for (uint32_t absolute : {0x00000u, 0xFFFFFu})
        Check("GOVLNG #" + test::Hex(absolute, 5));
}

} // namespace
