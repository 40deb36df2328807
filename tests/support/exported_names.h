// What a library's public header declares and what its shared object
// exports, for the tests that compare the two.
#pragma once

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace test {

// The name before the parameter list of each line that starts with the
// export macro (as "KV_API "), whose names start with prefix (as "KV").
inline std::set<std::string> DeclaredNames(const char* headerPath, const std::string& macro, const std::string& prefix)
{
    std::ifstream header(headerPath);
    std::stringstream text;
    text << header.rdbuf();
    const std::string source = text.str();
    std::set<std::string> declared;
    for (size_t at = source.find(macro); at != std::string::npos; at = source.find(macro, at + 1)) {
        const size_t paren = source.find('(', at);
        const size_t name = source.rfind(" " + prefix, paren);
        if (paren != std::string::npos && name != std::string::npos && name > at)
            declared.insert(source.substr(name + 1, paren - name - 1));
    }
    return declared;
}

// The dynamic symbols the shared object defines, as nm lists them; empty
// when nm cannot be run.
inline std::set<std::string> ExportedNames(const char* libraryPath)
{
    std::set<std::string> exported;
    FILE* pipe = popen((std::string("nm -D --defined-only ") + libraryPath).c_str(), "r");
    if (!pipe)
        return exported;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name)
            exported.insert(name);
    }
    if (pclose(pipe) != 0)
        exported.clear();
    return exported;
}

} // namespace test
