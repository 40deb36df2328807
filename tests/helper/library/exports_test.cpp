// libtessock.so as a client sees it: it exports the KH functions of the
// header that are built so far, and nothing else.
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>

namespace {

// Declared in the header, built by the components still to come. Each
// component removes its names from here when it lands.
const std::set<std::string> NotYetBuilt = {
    "KHAddBreakpoint", "KHAddRomBreakpoint", "KHRemoveBreakpoint", "KHRemoveRomBreakpoint",
    "KHSetBreakpointAction",                                    // breakpoints
    "KHPushObject", "KHLoadInPort1",                            // objects
    "KHKermitSendFile", "KHKermitOnByteReceived",               // Kermit
    "KHXModemSendFile", "KHXModemOnByteReceived",               // XModem
};

std::set<std::string> DeclaredNames()
{
    std::ifstream header(TESSOCK_HEADER_PATH);
    std::stringstream text;
    text << header.rdbuf();
    const std::string source = text.str();
    std::set<std::string> declared; // the name before the parameter list of each KH_API line
    for (size_t at = source.find("KH_API "); at != std::string::npos; at = source.find("KH_API ", at + 1)) {
        const size_t paren = source.find('(', at);
        const size_t name = source.rfind(" KH", paren);
        if (paren != std::string::npos && name != std::string::npos && name > at)
            declared.insert(source.substr(name + 1, paren - name - 1));
    }
    return declared;
}

std::set<std::string> ExportedNames()
{
    std::set<std::string> exported;
    FILE* pipe = popen((std::string("nm -D --defined-only ") + TESSOCK_LIBRARY_PATH).c_str(), "r");
    if (!pipe)
        return exported;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name)
            exported.insert(name);
    }
    pclose(pipe);
    return exported;
}

TEST(Exports, TheLibraryExportsExactlyTheBuiltFunctionsOfTheHeader)
{
    const std::set<std::string> declared = DeclaredNames();
    EXPECT_EQ(declared.size(), 38u);
    std::set<std::string> expected;
    for (const std::string& name : declared) {
        if (!NotYetBuilt.count(name))
            expected.insert(name);
    }
    for (const std::string& name : NotYetBuilt)
        EXPECT_TRUE(declared.count(name)) << name << " is not in the header";
    EXPECT_EQ(expected.size(), 27u);
    EXPECT_EQ(ExportedNames(), expected);
}

} // namespace
