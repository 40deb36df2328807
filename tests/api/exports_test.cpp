// The shared library as a client sees it: exactly the KV functions of the
// public header are exported.
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>

namespace {

// Every "KV_API ... KVName(" declaration of the public header.
std::set<std::string> HeaderExports()
{
    std::ifstream header(KORVANE_HEADER_PATH);
    std::stringstream text;
    text << header.rdbuf();
    const std::string source = text.str();
    std::set<std::string> names;
    for (size_t at = source.find("KV_API "); at != std::string::npos; at = source.find("KV_API ", at + 1)) {
        const size_t paren = source.find('(', at);
        const size_t name = source.rfind(" KV", paren);
        if (paren == std::string::npos || name == std::string::npos || name < at)
            continue;
        std::string candidate = source.substr(name + 1, paren - name - 1);
        while (!candidate.empty() && candidate.back() == ' ')
            candidate.pop_back();
        names.insert(candidate);
    }
    return names;
}

std::set<std::string> LibraryExports()
{
    std::set<std::string> names;
    const std::string command = std::string("nm -D --defined-only ") + KORVANE_LIBRARY_PATH;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return names;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (!name.empty())
            names.insert(name);
    }
    pclose(pipe);
    return names;
}

TEST(Exports, TheHeaderDeclaresAllThirtyEightFunctions)
{
    EXPECT_EQ(HeaderExports().size(), 38u);
}

TEST(Exports, TheLibraryExportsExactlyTheImplementedKVFunctions)
{
    const std::set<std::string> exported = LibraryExports();
    const std::set<std::string> declared = HeaderExports();
    ASSERT_FALSE(exported.empty());
    for (const std::string& name : exported) {
        EXPECT_TRUE(declared.count(name)) << name << " is exported but not a KV function of the header";
    }
}

} // namespace
