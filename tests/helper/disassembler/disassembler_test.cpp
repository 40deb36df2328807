// The disassembler against texts and lengths written out by hand, one row per opcode family, and against the
// project's assembler, whose every form comes back as its own text and length. With the symbol list.
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "saturn_asm/assembler.h"
#include "saturn_asm/instruction_forms.h"
#include "tests/helper/support/calculator.h"

namespace {

struct Disassembled { std::string Text; uint32_t Next; };
Disassembled Disassemble(uint32_t address, uint32_t size = 128)
{
    std::string buffer(size, '\x7F');
    const uint32_t next = KHDisassemble(address, size, buffer.data());
    return {buffer.c_str(), next};
}

// The nibbles (hexadecimal digits in address order) at the address.
void Place(uint32_t address, const std::string& digits)
{
    for (size_t i = 0; i < digits.size(); ++i)
        KHWriteNibble(address + static_cast<uint32_t>(i), digits[i] <= '9' ? digits[i] - '0' : digits[i] - 'A' + 10);
}

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%05X", value);
    return text;
}

constexpr uint32_t Origin = 0x01000;

// One row per decoding table and jump form, with ones after the instruction: a decoder that reads too far sees
// digits that change its text.
const struct {
    const char *Nibbles, *Text; // in address order
    uint32_t Length;
} Rows[] = {
    {"0B", "CSTEX", 2}, {"0E8F", "C=C!D.A", 4}, {"0E1A", "C=C!A.WP", 4}, {"105", "R1=A", 3}, {"12C", "CR4EX", 3},
    {"13F", "CD1XS", 3}, {"14E", "C=DAT0.B", 3}, {"1531", "A=DAT1.WP", 4}, {"157F", "C=DAT1.A", 4}, {"15FF", "C=DAT1.16", 4},
    {"189", "D0=D0-10", 3}, {"1C0", "D1=D1-1", 3}, {"1A4321", "D0=(4)\t#1234", 6}, {"1F0F000", "D1=(5)\t#000F0", 7},
    {"2F", "P=\t#15", 2}, {"3F0123456789ABCDEF", "LC(16)\t#FEDCBA9876543210", 18}, {"8082443210", "LA(5)\t#01234", 10},
    // GOC, GONC and GOTO count from their offset at 0x01001, GOSUB from 0x01004, GOLONG from 0x01002, GOSUBL
    // from 0x01006; a test's GOYES from its offset's first nibble; 0 returns instead.
    {"400", "RTNC", 3}, {"40F", "GOC\t#00FF1", 3}, {"570", "GONC\t#01008", 3}, {"6300", "NOP4", 4}, {"6400", "NOP5", 4},
    {"600F", "GOTO\t#00F01", 4}, {"7FFF", "GOSUB\t#01003", 4}, {"8C000F", "GOLONG\t#00002", 6}, {"8EFFFF", "GOSUBL\t#01005", 6},
    {"8D54321", "GOVLNG\t#12345", 7}, {"8F0000F", "GOSBVL\t#F0000", 7}, {"8087150", "?ABIT=1.1 GOYES #0100A", 7},
    {"83E00", "?SB=0&SR=0?MP=0 RTNYES", 5}, {"86501", "?ST=0.5 GOYES #01013", 5}, {"8A008", "?A=B.A GOYES #00F83", 5},
    {"9F3FF", "?D>C.W GOYES #01002", 5}, {"80C5", "C=P.5", 4}, {"80810", "RSI", 5}, {"808F", "INTOFF", 4}, {"8085F", "ABIT=1.15", 5},
    {"817", "DSRC", 3}, {"8186BF", "D=D-16", 6}, {"81921", "BSRB.XS", 5}, {"81A526", "AR2EX.M", 6}, {"81B7", "CPCEX", 4},
    {"82E", "SB=0 SR=0 MP=0", 3}, {"89F00", "?P=15 RTNYES", 5}, {"AC5", "B=C.S", 3}, {"BDA", "C=-C.M", 3}, {"CA", "A=A+C.A", 2},
    {"80811", "Unkown:80811", 5}, {"818240", "Unkown:818X4X", 6}, {"81934", "Unkown:819X4", 5}, {"81A03", "Unkown:81AX3", 5},
    {"81B1", "Unkown:81B1", 4},
};

TEST(Disassembler, EveryFamilyGivesItsTextAndLengthToEveryBufferSize)
{
    test::Calculator calculator;
    for (const auto& row : Rows) {
        SCOPED_TRACE(row.Nibbles);
        Place(Origin, std::string(row.Nibbles) + "FFFFFFFFFFFFFFFFFFFFFFFF");
        const Disassembled whole = Disassemble(Origin);
        EXPECT_EQ(whole.Text, row.Text);
        EXPECT_EQ(whole.Next, Origin + row.Length);
        // Cut to every size: the first size - 1 characters and a NUL, nothing past size, the same next address.
        for (uint32_t size = 0; size <= whole.Text.size() + 2; ++size) {
            char buffer[64];
            std::memset(buffer, 'x', sizeof buffer);
            EXPECT_EQ(KHDisassemble(Origin, size, buffer), whole.Next) << size;
            const size_t kept = size == 0 ? 0 : std::min<size_t>(size - 1, whole.Text.size());
            EXPECT_EQ(std::string(buffer, kept) + (size ? buffer[kept] : '\0'), whole.Text.substr(0, kept) + '\0') << size;
            EXPECT_EQ(std::string(buffer + size, sizeof buffer - size), std::string(sizeof buffer - size, 'x')) << size;
        }
        EXPECT_EQ(KHDisassemble(Origin, 64, nullptr), whole.Next) << "no buffer: only the length";
    }
    // An instruction over the top of memory reads on at 0x00000, and its next address is not wrapped; a jump
    // back from 0 reaches the top.
    Place(0xFFFFE, "334321");
    EXPECT_EQ(Disassemble(0xFFFFE).Text, "LC(4)\t#1234");
    EXPECT_EQ(Disassemble(0xFFFFE).Next, 0x100004u);
    Place(0x00000, "40F");
    EXPECT_EQ(Disassemble(0x300000).Text, "GOC\t#FFFF1") << "an address above 20 bits reads the same memory";
    EXPECT_EQ(Disassemble(0x300000).Next, 0x300003u);
}

// The source in the disassembler's notation: a TAB between a mnemonic and its operand, the field of a constant
// addition left out (r=r+k.f for k from 2; with k = 1 it is group B's increment, which shows its field), and
// 83E spelled as the disassembler spells it.
std::string Notation(std::string text)
{
    for (const char* mnemonic : {"P=", "LC(", "LA(", "D0=(", "D1=(", "GO"})
        if (text.starts_with(mnemonic) && text.find(' ') != std::string::npos) {
            text[text.find(' ')] = '\t';
            break;
        }
    const size_t dot = text.find('.');
    if (dot != std::string::npos && dot > 4 && text[1] == '=' && text[0] == text[2] && (text[3] == '+' || text[3] == '-')) {
        const std::string k = text.substr(4, dot - 4);
        if (k.find_first_not_of("0123456789") == std::string::npos && std::stoi(k) >= 2)
            text.erase(dot);
    }
    if (text.starts_with("?SB=0&SR=0&MP=0"))
        text[10] = '?';
    return text;
}

void RoundTrip(const std::string& statement, const std::string& definitions = "")
{
    SCOPED_TRACE(statement);
    const saturn::Assembly assembly = saturn::Assemble(definitions + "\tORG #50000\n\t" + statement + "\n");
    ASSERT_TRUE(assembly.ok()) << assembly.Errors.front().text();
    ASSERT_EQ(assembly.Chunks.size(), 1u);
    const std::vector<uint8_t>& nibbles = assembly.Chunks.front().Nibbles;
    for (uint32_t i = 0; i < nibbles.size(); ++i)
        KHWriteNibble(0x50000 + i, nibbles[i]);
    const Disassembled text = Disassemble(0x50000);
    EXPECT_EQ(text.Text, Notation(statement));
    // NOP5 is a GOTO over one nibble that belongs to no instruction.
    EXPECT_EQ(text.Next, 0x50000 + (statement == "NOP5" ? 4 : nibbles.size()));
}

TEST(Disassembler, EveryFormOfTheAssemblerComesBackAsItsText)
{
    test::Calculator calculator;
    for (const auto& [text, form] : saturn::FixedForms())
        RoundTrip(form.Test ? text + " RTNYES" : text);
    EXPECT_GT(saturn::FixedForms().size(), 2000u);
    for (const char* operands : {"P= #9", "LC(1) #A", "LC(16) #123456789ABCDEF0", "LA(5) #00F0F", "D0=(2) #A5", "D1=(4) #0F0F",
                                 "D0=(5) #12345", "XM=0 SR=0 MP=0"})
        RoundTrip(operands);
    // Each jump and GOYES to targets near and far both ways, by name (a constant of the source, and a symbol of
    // the library) and by number.
    for (const auto& [mnemonic, far] :
         {std::pair<std::string, int32_t>{"GOC", 120}, {"GONC", 120}, {"GOTO", 2000}, {"GOSUB", 2000}, {"GOLONG", 32000},
          {"GOSUBL", 32000}, {"GOVLNG", 0x40000}, {"GOSBVL", 0x40000}, {"?A=B.A GOYES", 120}, {"?ST=1.3 GOYES", 120},
          {"?CBIT=0.7 GOYES", 120}, {"?D>=C.WP GOYES", 120}}) {
        for (int32_t distance : {-far, -2, 9, far}) {
            const uint32_t target = 0x50000 + static_cast<uint32_t>(distance);
            const std::string name = "rt_" + Hex(target);
            KHAddSymbol(target, name.c_str());
            RoundTrip(mnemonic + " " + name, name + " = #" + Hex(target) + "\n");
            RoundTrip(mnemonic + " #" + Hex(target + 1));
        }
    }
    RoundTrip("GOVLNG #00000");
    RoundTrip("GOVLNG #FFFFF");
}

std::string SymbolAt(uint32_t address)
{
    char buffer[64];
    KHGetSymbol(address, sizeof buffer, buffer);
    return buffer;
}

TEST(Symbols, NamesAreKeptRelativeToTheBaseFirstComeCutToTheBufferAndShownForTargets)
{
    KHSetSymbolBase(0x80000);
    KHAddSymbol(0x10, "inbase");
    KHSetSymbolBase(0xFFFFFF00); // 32-bit arithmetic: 0x150 wraps to 0x50
    KHAddSymbol(0x150, "wrapped");
    KHSetSymbolBase(0x7FFF0);
    KHAddSymbol(0x20, "second"); // 0x80010 again
    KHAddSymbol(0x81001, nullptr);
    KHSetSymbolBase(0);
    EXPECT_EQ(SymbolAt(0x80010), "inbase");
    EXPECT_EQ(SymbolAt(0x10), "") << "the base is not added when reading";
    EXPECT_EQ(SymbolAt(0x50), "wrapped");
    KHAddSymbol(0x81001, "later");
    EXPECT_EQ(SymbolAt(0x81001), "later") << "no name registered nothing";

    // Cut to the buffer, the NUL counted; size 0 or no buffer take nothing.
    for (const auto& [size, name] : {std::pair<uint32_t, std::string>{1, ""}, {2, "i"}, {6, "inbas"}, {7, "inbase"}, {64, "inbase"}}) {
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(KHGetSymbol(0x80010, size, buffer), name.size() + 1) << size;
        EXPECT_EQ(std::string(buffer, sizeof buffer), name + '\0' + std::string(15 - name.size(), 'x')) << size;
    }
    char untouched = 'x';
    EXPECT_EQ(KHGetSymbol(0x80010, 0, &untouched), 1u);
    EXPECT_EQ(untouched, 'x');
    EXPECT_EQ(KHGetSymbol(0x80010, 16, nullptr), 1u);
    EXPECT_EQ(KHGetSymbol(0x80011, 16, &untouched), 1u) << "an address without a name gets one NUL";
    EXPECT_EQ(untouched, '\0');

    test::Calculator calculator;
    Place(0x20000, "6321");    // GOTO 0x20124
    Place(0x20010, "86501");   // ?ST=0.5 GOYES 0x20023
    Place(0x20030, "6001");    // GOTO 0x20131, one short of a name
    Place(0x00005, "40F");     // GOC below 0: 0xFFFF6
    Place(0x20040, "8D00203"); // GOVLNG 0x30200
    const std::string longName(100, 'n');
    KHAddSymbol(0x20124, "loop");
    KHAddSymbol(0x20023, "skip");
    KHAddSymbol(0x20132, "near");
    KHAddSymbol(0x100000 + 0x20131, "above");
    KHAddSymbol(0xFFFF6, "top");
    KHAddSymbol(0x30200, longName.c_str());
    EXPECT_EQ(Disassemble(0x20000).Text, "GOTO\tloop");
    EXPECT_EQ(Disassemble(0x20010).Text, "?ST=0.5 GOYES skip");
    EXPECT_EQ(Disassemble(0x20030).Text, "GOTO\t#20131") << "a name one address off, or above 20 bits, is not it";
    EXPECT_EQ(Disassemble(0x00005).Text, "GOC\ttop") << "the target wraps before it is looked up";
    EXPECT_EQ(Disassemble(0x20040, 200).Text, "GOVLNG\t" + longName);
    EXPECT_EQ(Disassemble(0x20040, 20).Text, "GOVLNG\t" + longName.substr(0, 12)) << "cut by the buffer";
    EXPECT_EQ(Disassemble(0x20040, 20).Next, 0x20047u);
}

} // namespace
