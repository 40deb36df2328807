// The assembler against opcodes written out by hand from the opcode map,
// one row per family, and its expressions, directives and errors.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "saturn_asm/assembler.h"
#include "saturn_asm/lcd_font.h"

namespace saturn {
namespace {

// The nibbles of one statement placed at address, as hexadecimal digits.
std::string Encode(const std::string& statement, uint32_t address = 0x1000)
{
    const Assembly assembly = Assemble("ORG " + std::to_string(address) + "\n" + statement + "\n");
    if (!assembly.ok())
        return "error: " + assembly.Errors.front().Message;
    std::string digits;
    for (uint8_t nibble : assembly.flat())
        digits += "0123456789ABCDEF"[nibble];
    return digits;
}

std::string FirstError(const std::string& source)
{
    const Assembly assembly = Assemble(source);
    return assembly.ok() ? "" : assembly.Errors.front().text();
}

struct Row {
    const char* Text;
    const char* Nibbles;
};

TEST(AssemblerEncoding, EveryFamilyGivesItsOpcode)
{
    const Row rows[] = {
        // group 0
        {"RTNSXM", "00"}, {"RTI", "0F"}, {"C=RSTK", "07"}, {"P=P-1", "0D"},
        {"A=A&B.W", "0E70"}, {"C=C!D.A", "0EFF"}, {"B=B&A.P", "0E04"},
        // group 1: scratch registers, pointers, memory transfers
        {"R3=C", "10B"}, {"A=R4", "114"}, {"CR1EX", "129"}, {"D1=CS", "13D"}, {"AD0XS", "13A"},
        {"A=DAT0.A", "142"}, {"DAT1=C.B", "14D"}, {"DAT0=A.W", "1507"}, {"C=DAT1.4", "15F3"},
        {"DAT0=A.4", "1583"}, {"DAT1=A.B", "149"}, {"A=DAT1.16", "15BF"},
        {"D0=D0+16", "16F"}, {"D1=D1+1", "170"}, {"D0=D0-3", "182"}, {"D1=D1-1", "1C0"},
        {"D0=(2) #3F", "19F3"}, {"D0=(4) #1234", "1A4321"}, {"D1=(5) #80123", "1F32108"},
        // P=, LC, LA
        {"P= #15", "2F"}, {"P= 7", "27"}, {"LC(5) #12345", "3454321"}, {"LC(1) 9", "309"},
        {"LA(3) #ABC", "80822CBA"},
        // relative and absolute jumps
        {"RTNC", "400"}, {"RTNNC", "500"}, {"NOP4", "6300"}, {"NOP5", "64000"},
        {"GOVLNG #0679B", "8DB9760"}, {"GOSBVL #80000", "8F00008"},
        // group 80 and 808
        {"OUT=CS", "800"}, {"C=IN", "803"}, {"C=ID", "806"}, {"SHUTDN", "807"}, {"C+P+1", "809"},
        {"SREQ?", "80E"}, {"INTON", "8080"}, {"RSI", "80810"}, {"INTOFF", "808F"}, {"PC=(A)", "808C"},
        {"ABIT=1.5", "80855"}, {"CBIT=0.15", "8088F"}, {"C=P.3", "80C3"}, {"P=C.0", "80D0"}, {"CPEX.15", "80FF"},
        // group 81
        {"ASLC", "810"}, {"DSRC", "817"}, {"CSRB", "81E"},
        {"A=A+5", "818F04"}, {"D=D-1", "818FB0"}, {"C=C-16.B", "8186AF"}, {"B=B+2.P", "818011"},
        {"BSRB.W", "81971"}, {"ASRB.A", "819F0"},
        {"R2=A.X", "81A302"}, {"C=R0.W", "81A718"}, {"CR4EX.M", "81A52C"},
        {"PC=C", "81B3"}, {"APCEX", "81B6"},
        // group 82 to 89
        {"NOP3", "820"}, {"SB=0 MP=0", "82A"}, {"MP=0 XM=0", "829"}, {"CLRHST", "82F"},
        {"ST=0.0", "840"}, {"ST=1.15", "85F"},
        // groups 9 to F
        {"A=A+B.W", "A70"}, {"DCEX.W", "AFF"}, {"B=B-C.M", "B51"}, {"D=-D-1.S", "BCF"},
        {"C=C+C.X", "A36"}, {"A=0.B", "AE0"}, {"ASR.W", "BF4"},
        {"A=A+B.A", "C0"}, {"C=C-1.A", "CE"}, {"A=0.A", "D0"}, {"C=A.A", "D6"}, {"A=C.A", "DA"},
        {"ABEX.A", "DC"}, {"D=D+1.A", "E7"}, {"ASL.A", "F0"}, {"D=-D-1.A", "FF"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Encode(row.Text), row.Nibbles) << row.Text;
}

TEST(AssemblerEncoding, TestsTakeTheirBranchTail)
{
    const Row rows[] = {
        {"?SR=0 RTNYES", "83400"}, {"?0=0 RTNYES", "83000"}, {"?SB=0&SR=0?MP=0 RTNYES", "83E00"},
        {"?ST=0.5 RTNYES", "86500"}, {"?ST=1.15 RTNYES", "87F00"}, {"?P#3 RTNYES", "88300"}, {"?P=0 RTNYES", "89000"},
        {"?A=B.A RTNYES", "8A000"}, {"?C#0.A RTNYES", "8AE00"}, {"?C>=A.A RTNYES", "8BA00"},
        {"?A#0.W RTNYES", "97C00"}, {"?D<=C.X RTNYES", "9BF00"}, {"?ABIT=1.5 RTNYES", "8087500"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Encode(row.Text), row.Nibbles) << row.Text;
    // GOYES counts from its own offset field: 3 nibbles in, +7 to "next".
    EXPECT_EQ(Encode("?A=0.W GOYES next\nNOP5\nnext: RTN"), "978706400001");
    // Five nibbles in for the 808 bit tests, and backwards.
    EXPECT_EQ(Encode("back: ?CBIT=1.3 GOYES back"), "808B3BF");
}

TEST(AssemblerEncoding, JumpsCountFromTheirOffsetOrTheNextInstruction)
{
    // GOC/GONC/GOTO count from the offset field (address + 1).
    EXPECT_EQ(Encode("GOC skip\nRTN\nskip: RTN"), "440" "01" "01");
    EXPECT_EQ(Encode("loop: GONC loop"), "5FF");
    EXPECT_EQ(Encode("GOTO far\nORG #1123\nfar: RTN"), "6221" + std::string(0x11F, '0') + "01");
    // GOSUB from the next instruction, GOSUBL likewise, GOLONG from its
    // offset field (address + 2).
    EXPECT_EQ(Encode("GOSUB sub\nsub: RTN"), "700001");
    EXPECT_EQ(Encode("self: GOSUB self"), "7CFF");
    EXPECT_EQ(Encode("GOSUBL sub\nsub: RTN"), "8E000001");
    EXPECT_EQ(Encode("back: GOLONG back"), "8CEFFF");
    // Across the top of the address space.
    EXPECT_EQ(Encode("GOTO #00002", 0xFFFFC), "6500");
}

TEST(AssemblerExpressions, NumbersNamesAndOperators)
{
    const Assembly assembly = Assemble(
        "BASE = #80000\n"
        "SIZE EQU 2*(3+4)-1\n"
        "LATE = later+1\n"
        "      ORG #100\n"
        "here: CON(5) BASE+SIZE, 'A', 0x1F|#100, 100/7, 100%7, -1, 1<<12>>4, ~0&#F, $, LATE\n"
        "later: CON(2) 7^5\n");
    ASSERT_TRUE(assembly.ok()) << assembly.Errors.front().text();
    EXPECT_EQ(assembly.Symbols.at("SIZE"), 13);
    EXPECT_EQ(assembly.Symbols.at("here"), 0x100);
    const uint32_t expected[] = {0x8000D, 0x41, 0x11F, 14, 2, 0xFFFFF, 0x100, 0xF, 0x100, 0x100 + 50 + 1};
    const std::vector<uint8_t> nibbles = assembly.flat();
    ASSERT_EQ(nibbles.size(), 52u);
    for (size_t k = 0; k < 10; ++k) {
        uint32_t value = 0;
        for (unsigned i = 0; i < 5; ++i)
            value |= static_cast<uint32_t>(nibbles[5 * k + i]) << (4 * i);
        EXPECT_EQ(value, expected[k]) << "value " << k;
    }
    EXPECT_EQ(nibbles[50], 2);
    EXPECT_EQ(nibbles[51], 0);
}

TEST(AssemblerDirectives, DataAlignmentAndOrigin)
{
    EXPECT_EQ(Encode("NIBHEX 01 2F\nNIB 9, 10\nBYTE #A5\nCON(3) #123\nASCII \"Hi\\n\""), "012F9A5A321" "8496A0");
    EXPECT_EQ(Encode("NIB 1\nALIGN 4\nNIB 2"), "1000" "2");
    const Assembly gap = Assemble("ORG #10\nNIB 1\nORG #14\nNIB 2\n");
    ASSERT_TRUE(gap.ok());
    ASSERT_EQ(gap.Chunks.size(), 2u);
    EXPECT_EQ(gap.Chunks[1].Address, 0x14u);
    EXPECT_EQ(gap.flat(), (std::vector<uint8_t>{1, 0, 0, 0, 2}));
    std::vector<uint8_t> image(0x20, 0xEE);
    EXPECT_TRUE(gap.place(image));
    EXPECT_EQ(image[0x10], 1);
    EXPECT_EQ(image[0x11], 0xEE);
    std::vector<uint8_t> small(0x12, 0xEE);
    EXPECT_FALSE(gap.place(small));
    EXPECT_EQ(small[0x10], 0xEE); // nothing written
}

TEST(AssemblerDirectives, TextIsDrawnInLcdLinesWithTheBuiltInFont)
{
    // "0" is 111 / 101 / 101 / 101 / 111, the leftmost dot in bit 0: 7 5 5 5 7 0.
    const auto zero = GlyphRows('0');
    ASSERT_TRUE(zero);
    EXPECT_EQ(*zero, (std::array<uint8_t, 6>{7, 5, 5, 5, 7, 0}));
    const Assembly text = Assemble("TEXT 8, \"0\"\n");
    ASSERT_TRUE(text.ok());
    const std::vector<uint8_t> band = text.flat();
    ASSERT_EQ(band.size(), 6u * 34);
    for (unsigned row = 0; row < 6; ++row)
        for (unsigned nibble = 0; nibble < 34; ++nibble)
            EXPECT_EQ(band[row * 34 + nibble], nibble == 2 ? (*zero)[row] : 0) << row << " " << nibble;
    // Two dots to the right, the glyph straddles nibbles 2 and 3.
    const std::vector<uint8_t> shifted = Assemble("TEXT 10, \"0\"\n").flat();
    EXPECT_EQ(shifted[2], (7 << 2) & 15);
    EXPECT_EQ(shifted[3], 7 >> 2);
    // Centred on the 4-dot grid: 32 cells, "AB" from cell 15.
    EXPECT_EQ(CentredColumn("AB"), 60u);
    EXPECT_EQ(Assemble("TEXTC \"AB\"\n").flat(), Assemble("TEXT 60, \"AB\"\n").flat());
    // Lower case is drawn as capitals; every glyph differs from the others.
    EXPECT_EQ(Assemble("TEXT 0, \"abc\"\n").flat(), Assemble("TEXT 0, \"ABC\"\n").flat());
    const std::vector<uint8_t> font = Assemble("FONT\n").flat();
    ASSERT_EQ(font.size(), 64u * 6);
    for (unsigned a = 0; a < 64; ++a)
        for (unsigned b = a + 1; b < 64; ++b)
            EXPECT_FALSE(std::equal(font.begin() + 6 * a, font.begin() + 6 * a + 6, font.begin() + 6 * b))
                << static_cast<char>(0x20 + a) << " " << static_cast<char>(0x20 + b);
}

TEST(AssemblerErrors, ReportTheFileAndLineOfEachFault)
{
    const Assembly assembly = Assemble(std::vector<SourceFile>{
        {"one.s", "RTN\nA=A+Q.W\nGOTO nowhere\n"},
        {"two.s", "LC(2) #123\nlabel: RTN\nlabel: RTN\n?A=0.W\n"},
    });
    ASSERT_EQ(assembly.Errors.size(), 5u);
    EXPECT_EQ(assembly.Errors[0].text(), "one.s:2: error: unknown instruction 'A=A+Q.W'");
    EXPECT_EQ(assembly.Errors[1].text(), "two.s:3: error: 'label' is defined twice");
    EXPECT_EQ(assembly.Errors[2].text(), "two.s:4: error: a test ends in GOYES and a target, or RTNYES");
    // Values are checked in the second pass, in source order.
    EXPECT_EQ(assembly.Errors[3].text(), "one.s:3: error: unknown name 'nowhere'");
    EXPECT_EQ(assembly.Errors[4].File, "two.s");
    EXPECT_EQ(assembly.Errors[4].Line, 1u);
}

TEST(AssemblerErrors, RangesAndShapes)
{
    EXPECT_NE(FirstError("GOC far\nORG #200\nfar: RTN").find("too far for a 2-nibble offset"), std::string::npos);
    EXPECT_NE(FirstError("here: ?A=0.W GOYES here+3").find("reads as a return"), std::string::npos);
    EXPECT_NE(FirstError("LC(2) #100").find("does not fit in 2 nibbles"), std::string::npos);
    EXPECT_NE(FirstError("LC(17) 1").find("from 1 to 16"), std::string::npos);
    EXPECT_NE(FirstError("P= #16").find("P= takes 0 to 15"), std::string::npos);
    EXPECT_NE(FirstError("RTN A").find("takes no operand"), std::string::npos);
    EXPECT_NE(FirstError("CON(5) 1/0").find("division by zero"), std::string::npos);
    EXPECT_NE(FirstError("A = B+1\nB = A\nCON(5) A").find("in terms of itself"), std::string::npos);
    EXPECT_NE(FirstError("ORG later\nlater: RTN").find("must be defined before this line"), std::string::npos);
    EXPECT_NE(FirstError("ORG #10\nNIB 1\nORG #10\nNIB 2").find("overlaps earlier code at #00010"), std::string::npos);
    EXPECT_NE(FirstError("ASCII \"open").find("double quotes"), std::string::npos);
    EXPECT_NE(FirstError("TEXT 0, \"\x01\"").find("font has no character"), std::string::npos);
    EXPECT_NE(FirstError("TEXT 124, \"ABCD\"").find("past the end of the LCD line"), std::string::npos);
    EXPECT_NE(FirstError("CON(5) #12G").find("bad digit"), std::string::npos);
    EXPECT_NE(FirstError("XM=0 XM=0").find("no further hardware status bit"), std::string::npos);
    EXPECT_NE(FirstError("ORG #FFFFF\nCON(5) 0").find("past the end of the address space"), std::string::npos);
    // Pathological nesting is refused, not a crash.
    EXPECT_NE(FirstError("CON(5) " + std::string(100000, '(') + "1").find("nested too deeply"), std::string::npos);
    EXPECT_EQ(Encode("CON(5) " + std::string(100001, '-') + "1"), "FFFFF");
    std::string chain = "N0 = 1\n";
    for (int i = 1; i < 1000; ++i)
        chain.append("N").append(std::to_string(i)).append(" = N").append(std::to_string(i - 1)).append("+1\n");
    EXPECT_NE(FirstError(chain + "CON(5) N999").find("too many other names"), std::string::npos);
    // Each name is worked out once, however often it is used.
    std::string doubling = "D0 = 1\n";
    for (int i = 1; i < 64; ++i)
        doubling.append("D").append(std::to_string(i)).append(" = D").append(std::to_string(i - 1))
            .append("+D").append(std::to_string(i - 1)).append("\n");
    EXPECT_EQ(Encode(doubling + "CON(5) D19"), "00008");
    // A ';' inside a string or a character constant is no comment.
    EXPECT_EQ(Encode("ASCII \";\" ; comment\nNIB ';'&15"), "B3B");
}

} // namespace
} // namespace saturn
