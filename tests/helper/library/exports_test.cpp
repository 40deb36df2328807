// libtessock.so as a client sees it: it exports the KH functions of the
// header that are built so far, and nothing else.
#include <gtest/gtest.h>

#include "tests/support/exported_names.h"

namespace {

// Declared in the header, built by the components still to come. Each
// component removes its names from here when it lands.
const std::set<std::string> NotYetBuilt = {
    "KHDisassemble",                                            // disassembler
    "KHAddSymbol", "KHGetSymbol", "KHSetSymbolBase",            // symbols
    "KHKermitSendFile", "KHKermitOnByteReceived",               // Kermit
    "KHXModemSendFile", "KHXModemOnByteReceived",               // XModem
};

TEST(Exports, TheLibraryExportsExactlyTheBuiltFunctionsOfTheHeader)
{
    const std::set<std::string> declared = test::DeclaredNames(TESSOCK_HEADER_PATH, "KH_API ", "KH");
    EXPECT_EQ(declared.size(), 38u);
    std::set<std::string> expected;
    for (const std::string& name : declared) {
        if (!NotYetBuilt.count(name))
            expected.insert(name);
    }
    for (const std::string& name : NotYetBuilt)
        EXPECT_TRUE(declared.count(name)) << name << " is not in the header";
    EXPECT_EQ(expected.size(), 38u - NotYetBuilt.size());
    const std::set<std::string> exported = test::ExportedNames(TESSOCK_LIBRARY_PATH);
    ASSERT_FALSE(exported.empty()) << "nm -D " << TESSOCK_LIBRARY_PATH;
    EXPECT_EQ(exported, expected);
}

} // namespace
