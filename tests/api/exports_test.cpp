// The shared library as a client sees it: it exports exactly the KV
// functions that the public header declares.
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>

namespace {

TEST(Exports, TheLibraryExportsExactlyTheThirtyEightFunctionsOfTheHeader)
{
    std::ifstream header(KORVANE_HEADER_PATH);
    std::stringstream text;
    text << header.rdbuf();
    const std::string source = text.str();
    std::set<std::string> declared; // the name before the parameter list of each KV_API line
    for (size_t at = source.find("KV_API "); at != std::string::npos; at = source.find("KV_API ", at + 1)) {
        const size_t paren = source.find('(', at);
        const size_t name = source.rfind(" KV", paren);
        if (paren != std::string::npos && name != std::string::npos && name > at)
            declared.insert(source.substr(name + 1, paren - name - 1));
    }
    EXPECT_EQ(declared.size(), 38u);

    std::set<std::string> exported;
    FILE* pipe = popen((std::string("nm -D --defined-only ") + KORVANE_LIBRARY_PATH).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name)
            exported.insert(name);
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(exported, declared);
}

} // namespace
