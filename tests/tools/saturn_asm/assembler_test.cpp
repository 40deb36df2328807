// The assembler against opcodes written out by hand from the opcode map, one
// row per way of encoding (every form it knows meets the disassembler in the
// helper library's round-trip test); its expressions, directives and errors;
// and the command-line tool.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

#include "saturn_asm/assembler.h"

namespace saturn {

// The nibbles of the statements placed at address, as hexadecimal digits,
// or the first error.
static std::string Encode(const std::string& statements, uint32_t address = 0x1000)
{
    const Assembly assembly = Assemble("ORG " + std::to_string(address) + "\n" + statements + "\n");
    if (!assembly.ok())
        return assembly.Errors.front().text();
    std::string digits;
    for (uint8_t nibble : assembly.flat())
        digits += "0123456789ABCDEF"[nibble];
    return digits;
}

TEST(AssemblerEncoding, EachWayOfEncodingGivesItsOpcode)
{
    const char* const rows[][2] = {
        {"RTI", "0F"}, {"C=C!D.A", "0EFF"}, {"C=DAT1.4", "15F3"}, {"D0=(4) #1234", "1A4321"}, {"P= #15", "2F"},
        {"P= 7", "27"}, {"LC(5) #12345", "3454321"}, {"LA(3) #ABC", "80822CBA"}, {"GOSBVL #80000", "8F00008"},
        {"A=A+5", "818F04"}, {"C=C-16.B", "8186AF"}, {"SB=0 MP=0", "82A"}, {"?ABIT=1.5 RTNYES", "8087500"},
        // GOYES counts from its own offset field, 3 nibbles in (5 for the
        // 808 bit tests); GOC, GONC and GOTO from theirs (address + 1),
        // GOLONG from address + 2, GOSUB and GOSUBL from the next instruction.
        {"?A=0.W GOYES next\nNOP5\nnext: RTN", "978706400001"}, {"back: ?CBIT=1.3 GOYES back", "808B3BF"},
        {"GOC skip\nRTN\nskip: RTN", "4400101"}, {"loop: GONC loop", "5FF"}, {"GOSUB sub\nsub: RTN", "700001"},
        {"self: GOSUB self", "7CFF"}, {"GOSUBL sub\nsub: RTN", "8E000001"}, {"back: GOLONG back", "8CEFFF"},
    };
    for (const auto& [text, nibbles] : rows)
        EXPECT_EQ(Encode(text), nibbles) << text;
    EXPECT_EQ(Encode("GOTO far\nORG #1123\nfar: RTN"), "6221" + std::string(0x11F, '0') + "01");
    EXPECT_EQ(Encode("GOTO #00002", 0xFFFFC), "6500"); // across the top of the address space
}

TEST(AssemblerExpressions, NumbersNamesOperatorsDataAlignmentAndPlacing)
{
    // Five nibbles a value, low nibble first: 8000D 41 11F 14 2 -1 100 F,
    // then $ (0x1000) and LATE (0x1033); 7^5 in two.
    EXPECT_EQ(Encode("BASE = #80000\nSIZE EQU 2*(3+4)-1\nLATE = later+1\n"
                     "CON(5) BASE+SIZE, 'A', 0x1F|#100, 100/7, 100%7, -1, 1<<12>>4, ~0&#F, $, LATE\nlater: CON(2) 7^5"),
              "D0008" "14000" "F1100" "E0000" "20000" "FFFFF" "00100" "F0000" "00010" "33010" "20");
    // Each name is worked out once, however often it is used; a ';' inside
    // a string or a character constant is no comment.
    // (Appends: GCC 12 at -O3 takes "x" + std::string for an overlap.)
    std::string doubling = "D0 = 1\n";
    for (int i = 1; i < 64; ++i) {
        const std::string previous = std::to_string(i - 1);
        doubling.append("D").append(std::to_string(i)).append(" = D").append(previous).append("+D").append(previous).append("\n");
    }
    EXPECT_EQ(Encode(doubling + "CON(5) D19"), "00008");
    EXPECT_EQ(Encode("CON(5) " + std::string(100001, '-') + "1"), "FFFFF");
    EXPECT_EQ(Encode("ASCII \";\" ; comment\nNIB ';'&15"), "B3B");
    EXPECT_EQ(Encode("NIBHEX 01 2F\nNIB 9, 10\nBYTE #A5\nCON(3) #123\nASCII \"Hi\\n\""), "012F9A5A321" "8496A0");
    EXPECT_EQ(Encode("NIB 1\nALIGN 4\nNIB 2"), "10002");
    const Assembly gap = Assemble("ORG #10\nNIB 1\nORG #14\nNIB 2\n");
    ASSERT_EQ(gap.Chunks.size(), 2u);
    EXPECT_EQ(gap.Chunks[1].Address, 0x14u);
    EXPECT_EQ(gap.flat(), (std::vector<uint8_t>{1, 0, 0, 0, 2}));
    std::vector<uint8_t> image(0x20, 0xEE), small(0x12, 0xEE);
    EXPECT_TRUE(gap.place(image));
    EXPECT_EQ(image[0x10], 1);
    EXPECT_EQ(image[0x11], 0xEE);
    EXPECT_FALSE(gap.place(small));
    EXPECT_EQ(small, std::vector<uint8_t>(0x12, 0xEE)); // nothing written
}

TEST(AssemblerDirectives, TextIsDrawnInLcdLinesWithTheBuiltInFont)
{
    // "0" is 111 / 101 / 101 / 101 / 111, the leftmost dot in bit 0.
    const std::vector<uint8_t> band = Assemble("TEXT 8, \"0\"\n").flat();
    ASSERT_EQ(band.size(), 6u * 34);
    for (unsigned nibble = 0; nibble < band.size(); ++nibble)
        EXPECT_EQ(band[nibble], nibble % 34 == 2 ? "\7\5\5\5\7\0"[nibble / 34] : 0) << nibble;
    // Two dots to the right, the glyph straddles nibbles 2 and 3.
    const std::vector<uint8_t> shifted = Assemble("TEXT 10, \"0\"\n").flat();
    EXPECT_EQ(shifted[2], (7 << 2) & 15);
    EXPECT_EQ(shifted[3], 7 >> 2);
    // Centred on the 4-dot grid: 32 cells, "AB" from cell 15.
    EXPECT_EQ(Assemble("TEXTC \"AB\"\n").flat(), Assemble("TEXT 60, \"AB\"\n").flat());
    EXPECT_EQ(Assemble("TEXT 0, \"abc\"\n").flat(), Assemble("TEXT 0, \"ABC\"\n").flat());
    const std::vector<uint8_t> font = Assemble("FONT\n").flat();
    ASSERT_EQ(font.size(), 64u * 6);
    for (unsigned a = 0; a < 64; ++a)
        for (unsigned b = a + 1; b < 64; ++b)
            EXPECT_FALSE(std::equal(font.begin() + 6 * a, font.begin() + 6 * a + 6, font.begin() + 6 * b)) << a << " " << b;
}

TEST(AssemblerErrors, EachFaultIsReportedWithItsFileAndLine)
{
    const Assembly assembly = Assemble(std::vector<SourceFile>{
        {"one.s", "RTN\nA=A+Q.W\nGOTO nowhere\n"},
        {"two.s", "LC(2) #123\nlabel: RTN\nlabel: RTN\n?A=0.W\n"},
    });
    // Values are checked in the second pass, in source order.
    const char* const expected[] = {"one.s:2: error: unknown instruction 'A=A+Q.W'",
                                    "two.s:3: error: 'label' is defined twice",
                                    "two.s:4: error: a test ends in GOYES and a target, or RTNYES",
                                    "one.s:3: error: unknown name 'nowhere'", "two.s:1: error: value 291"};
    ASSERT_EQ(assembly.Errors.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(assembly.Errors[i].text().substr(0, std::strlen(expected[i])), expected[i]);

    std::string chain = "N0 = 1\n";
    for (int i = 1; i < 1000; ++i)
        chain.append("N").append(std::to_string(i)).append(" = N").append(std::to_string(i - 1)).append("+1\n");
    const std::pair<std::string, const char*> faults[] = {
        {"GOC far\nORG #200\nfar: RTN", "too far for a 2-nibble offset"}, {"here: ?A=0.W GOYES here+3", "reads as a return"},
        {"LC(2) #100", "does not fit in 2 nibbles"}, {"LC(17) 1", "from 1 to 16"}, {"P= #16", "P= takes 0 to 15"},
        {"RTN A", "takes no operand"}, {"CON(5) 1/0", "division by zero"}, {"A = B+1\nB = A\nCON(5) A", "in terms of itself"},
        {"ORG later\nlater: RTN", "must be defined before this line"},
        {"ORG #10\nNIB 1\nORG #10\nNIB 2", "overlaps earlier code at #00010"}, {"ASCII \"open", "double quotes"},
        {"TEXT 0, \"\x01\"", "font has no character"}, {"TEXT 124, \"ABCD\"", "past the end of the LCD line"},
        {"CON(5) #12G", "bad digit"}, {"XM=0 XM=0", "no further hardware status bit"},
        {"ORG #FFFFF\nCON(5) 0", "past the end of the address space"},
        {"CON(5) " + std::string(100000, '(') + "1", "nested too deeply"}, {chain + "CON(5) N999", "too many other names"},
    };
    for (const auto& [source, message] : faults)
        EXPECT_NE(Encode(source).find(message), std::string::npos) << Encode(source);
}

TEST(SaturnAsmTool, WritesARawImageAndAMapOrFailsWithNoImage)
{
    const std::string dir = std::filesystem::temp_directory_path() / ("saturn-asm-" + std::to_string(getpid())) += "/";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "a.s") << "ORG #10\nstart: LC(2) #A5\nEND = start+4\n";
    std::ofstream(dir + "bad.s") << "RTN\nGOTO missing\n";
    std::ofstream(dir + "high.s") << "ORG #2000\nRTN\n";
    const auto read = [&](const std::string& name) {
        std::stringstream text;
        text << std::ifstream(dir + name, std::ios::binary).rdbuf();
        return text.str();
    };
    const auto run = [&](const std::string& arguments) {
        return std::system((SATURN_ASM_PATH " -o " + dir + "out " + arguments + " 2>" + dir + "err").c_str());
    };
    ASSERT_EQ(run("-s 0x1000 -m " + dir + "map " + dir + "a.s"), 0) << read("err");
    EXPECT_EQ(read("out"), std::string(0x10, '\0') + "\x03\x01\x05\x0A" + std::string(0x1000 - 0x14, '\0'));
    EXPECT_EQ(read("map"), "END #00014\nstart #00010\n");
    std::filesystem::remove(dir + "out");
    for (const auto& [arguments, message] : {std::pair{dir + "bad.s", dir + "bad.s:2: error: unknown name 'missing'"},
                                             {dir + "absent.s", "cannot read"}, {"-s 12 " + dir + "a.s", "usage"},
                                             {"-s 0x1000 " + dir + "high.s", "does not fit"}}) {
        EXPECT_NE(run(arguments), 0) << arguments;
        EXPECT_NE(read("err").find(message), std::string::npos) << read("err");
        EXPECT_FALSE(std::filesystem::exists(dir + "out")) << arguments;
    }
    std::filesystem::remove_all(dir);
}

} // namespace saturn
