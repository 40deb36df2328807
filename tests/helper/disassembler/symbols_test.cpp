// The symbol list: names registered relative to a base, read back cut to
// the caller's buffer, and shown by the disassembler for the targets they
// name. The list lives as long as the library, so each test names
// addresses of its own.
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "tests/helper/disassembler/disassemble.h"

namespace {

using test::Disassemble;

std::string NameAt(uint32_t address)
{
    char buffer[64];
    KHGetSymbol(address, sizeof buffer, buffer);
    return buffer;
}

TEST(Symbols, TheBaseIsAddedOnRegisteringAndTheFirstNameStays)
{
    KHSetSymbolBase(0x80000);
    KHAddSymbol(0x10, "inbase");
    KHSetSymbolBase(0xFFFFFF00); // 32-bit arithmetic: 0x150 wraps to 0x50
    KHAddSymbol(0x150, "wrapped");
    KHSetSymbolBase(0x7FFF0);
    KHAddSymbol(0x20, "second"); // 0x80010 again
    KHAddSymbol(0x81001, nullptr);
    KHSetSymbolBase(0);
    EXPECT_EQ(NameAt(0x80010), "inbase");
    EXPECT_EQ(NameAt(0x10), "") << "the base is not added when reading";
    EXPECT_EQ(NameAt(0x50), "wrapped");
    EXPECT_EQ(NameAt(0x80011), "");
    KHAddSymbol(0x81001, "later");
    EXPECT_EQ(NameAt(0x81001), "later") << "no name registered nothing";
}

TEST(Symbols, ANameIsCutToTheBufferWithTheNulCounted)
{
    KHAddSymbol(0x82000, "sixchr");
    struct Case {
        uint32_t Size;
        const char* Name;
        uint32_t Count;
    };
    for (const Case& c : {Case{1, "", 1}, Case{2, "s", 2}, Case{4, "six", 4}, Case{6, "sixch", 6},
                          Case{7, "sixchr", 7}, Case{8, "sixchr", 7}, Case{64, "sixchr", 7}}) {
        char buffer[16];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(KHGetSymbol(0x82000, c.Size, buffer), c.Count) << c.Size;
        EXPECT_STREQ(buffer, c.Name) << c.Size;
        EXPECT_EQ(std::string(buffer + c.Count, sizeof buffer - c.Count), std::string(sizeof buffer - c.Count, 'x'));
    }
    // Size 0 takes nothing and counts the NUL; so does a missing buffer.
    char untouched = 'x';
    EXPECT_EQ(KHGetSymbol(0x82000, 0, &untouched), 1u);
    EXPECT_EQ(untouched, 'x');
    EXPECT_EQ(KHGetSymbol(0x82000, 16, nullptr), 1u);
    char empty[4] = "xxx";
    EXPECT_EQ(KHGetSymbol(0x82001, sizeof empty, empty), 1u) << "an address without a name gets one NUL";
    EXPECT_STREQ(empty, "");
}

TEST(Symbols, TheDisassemblerNamesTargetsThatHaveANameExactly)
{
    test::Calculator calculator;
    test::PlaceNibbles(calculator, 0x20000, "6321");    // GOTO 0x20124
    test::PlaceNibbles(calculator, 0x20010, "86501");   // ?ST=0.5 GOYES 0x20023
    test::PlaceNibbles(calculator, 0x20020, "8F21012"); // GOSBVL 0x21012
    test::PlaceNibbles(calculator, 0x20030, "6001");    // GOTO 0x20131: no name
    test::PlaceNibbles(calculator, 0x00005, "40F");     // GOC below 0: 0xFFFF6
    test::PlaceNibbles(calculator, 0x20040, "8D00203"); // GOVLNG 0x30200
    const std::string longName(100, 'n');
    KHAddSymbol(0x20124, "loop");
    KHAddSymbol(0x20023, "skip");
    KHAddSymbol(0x21012, "=DOCOL");
    KHAddSymbol(0x20132, "near");
    KHAddSymbol(0x100000 + 0x20131, "above");
    KHAddSymbol(0xFFFF6, "top");
    KHAddSymbol(0x30200, longName.c_str());
    EXPECT_EQ(Disassemble(0x20000).Text, "GOTO\tloop");
    EXPECT_EQ(Disassemble(0x20010).Text, "?ST=0.5 GOYES skip");
    EXPECT_EQ(Disassemble(0x20020).Text, "GOSBVL\t=DOCOL");
    EXPECT_EQ(Disassemble(0x20030).Text, "GOTO\t#20131") << "a name one address off, or above 20 bits, is not it";
    EXPECT_EQ(Disassemble(0x00005).Text, "GOC\ttop") << "the target wraps before it is looked up";
    EXPECT_EQ(Disassemble(0x20040, 200).Text, "GOVLNG\t" + longName);
    EXPECT_EQ(Disassemble(0x20040, 20).Text, "GOVLNG\t" + longName.substr(0, 12)) << "cut by the buffer";
    EXPECT_EQ(Disassemble(0x20040, 20).Next, 0x20047u);
}

} // namespace
