// The symbol list: names registered relative to a base, read back cut to
// the caller's buffer, and shown by the disassembler for the targets they
// name. The list lives as long as the library, so each test names
// addresses of its own.
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "tests/helper/disassembler/disassemble.h"

namespace {

using test::Calculator;
using test::Disassemble;

struct Read {
    std::string Name;
    uint32_t Count;
};

Read GetSymbol(uint32_t address, uint32_t size = 64)
{
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    const uint32_t count = KHGetSymbol(address, size, buffer);
    return {std::string(buffer, strnlen(buffer, sizeof buffer)), count};
}

TEST(Symbols, TheBaseIsAddedWhenANameIsRegisteredOnly)
{
    KHSetSymbolBase(0x80000);
    KHAddSymbol(0x10, "inbase");
    // 32-bit arithmetic: a base near the top wraps to a low address.
    KHSetSymbolBase(0xFFFFFF00);
    KHAddSymbol(0x150, "wrapped");
    KHSetSymbolBase(0x90000);
    EXPECT_EQ(GetSymbol(0x80010).Name, "inbase") << "names keep the address they were given";
    EXPECT_EQ(GetSymbol(0x80010).Count, 7u);
    EXPECT_EQ(GetSymbol(0x10).Name, "");
    EXPECT_EQ(GetSymbol(0x10).Count, 1u);
    EXPECT_EQ(GetSymbol(0x90010).Count, 1u) << "the base is not added when reading";
    EXPECT_EQ(GetSymbol(0x50).Name, "wrapped");
    KHSetSymbolBase(0);
}

TEST(Symbols, TheFirstNameForAnAddressStays)
{
    KHAddSymbol(0x81000, "first");
    KHAddSymbol(0x81000, "second");
    KHSetSymbolBase(0x1000);
    KHAddSymbol(0x80000, "third"); // 0x81000 again, through the base
    KHSetSymbolBase(0);
    EXPECT_EQ(GetSymbol(0x81000).Name, "first");
    KHAddSymbol(0x81001, nullptr); // no name: nothing registered
    EXPECT_EQ(GetSymbol(0x81001).Count, 1u);
    KHAddSymbol(0x81001, "later");
    EXPECT_EQ(GetSymbol(0x81001).Name, "later");
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
        for (size_t i = c.Count; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], 'x') << "written at " << i << " with size " << c.Size;
    }
    // Size 0 takes nothing and counts the NUL; so does a missing buffer.
    char untouched = 'x';
    EXPECT_EQ(KHGetSymbol(0x82000, 0, &untouched), 1u);
    EXPECT_EQ(untouched, 'x');
    EXPECT_EQ(KHGetSymbol(0x82000, 16, nullptr), 1u);
    EXPECT_EQ(GetSymbol(0x82001).Count, 1u) << "an address without a name gets one NUL";
    EXPECT_EQ(GetSymbol(0x82001).Name, "");
}

TEST(Symbols, TheDisassemblerNamesTargetsThatHaveANameExactly)
{
    Calculator calculator;
    test::PlaceNibbles(calculator, 0x20000, "6321");    // GOTO 0x20124
    test::PlaceNibbles(calculator, 0x20010, "86501");   // ?ST=0.5 GOYES 0x20023
    test::PlaceNibbles(calculator, 0x20020, "8F21012"); // GOSBVL 0x21012
    test::PlaceNibbles(calculator, 0x20030, "6001");    // GOTO 0x20131: no name
    test::PlaceNibbles(calculator, 0x00005, "40F");     // GOC below 0: 0xFFFF6
    KHAddSymbol(0x20124, "loop");
    KHAddSymbol(0x20023, "skip");
    KHAddSymbol(0x21012, "=DOCOL");
    KHAddSymbol(0x20132, "near");
    KHAddSymbol(0x100000 + 0x20131, "above");
    KHAddSymbol(0xFFFF6, "top");
    EXPECT_EQ(Disassemble(0x20000).Text, "GOTO\tloop");
    EXPECT_EQ(Disassemble(0x20010).Text, "?ST=0.5 GOYES skip");
    EXPECT_EQ(Disassemble(0x20020).Text, "GOSBVL\t=DOCOL");
    EXPECT_EQ(Disassemble(0x20030).Text, "GOTO\t#20131") << "a name one address off, or above 20 bits, is not it";
    EXPECT_EQ(Disassemble(0x00005).Text, "GOC\ttop") << "the target wraps before it is looked up";
    EXPECT_EQ(Disassemble(0x20000).Next, 0x20004u);
}

TEST(Symbols, ALongNameIsCutByTheDisassemblyBuffer)
{
    Calculator calculator;
    const std::string name(100, 'n');
    test::PlaceNibbles(calculator, 0x20040, "8D00203"); // GOVLNG 0x30200
    KHAddSymbol(0x30200, name.c_str());
    EXPECT_EQ(Disassemble(0x20040, 200).Text, "GOVLNG\t" + name);
    EXPECT_EQ(Disassemble(0x20040, 20).Text, "GOVLNG\t" + name.substr(0, 12));
    EXPECT_EQ(Disassemble(0x20040, 20).Next, 0x20047u);
}

} // namespace
