// saturn_asm: assembles Saturn source files into a raw ROM image, one nibble
// per byte, the file size the image size.
//
//     saturn_asm [-s size] [-m map] -o ROM.E49 file.s...
//
// -s: the image size in nibbles (default 0x400000, the HP 49G's flash);
// -m: also write the labels and constants, one "name #value" a line.
// Faults are reported as "file:line: error: message"; the exit status is 1
// and no image is written.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "saturn_asm/assembler.h"

namespace {

int Usage()
{
    std::cerr << "usage: saturn_asm [-s size] [-m map] -o image file.s...\n";
    return 2;
}

bool ReadFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
    std::string output, map;
    unsigned long size = 0x400000;
    std::vector<saturn::SourceFile> sources;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-o" || arg == "-m" || arg == "-s") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "-o") {
                output = value;
            } else if (arg == "-m") {
                map = value;
            } else {
                char* end = nullptr;
                size = std::strtoul(value.c_str(), &end, 0);
                if (*end || size < 0x1000 || size > 0x400000)
                    return Usage();
            }
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage();
        } else {
            saturn::SourceFile source{arg, {}};
            if (!ReadFile(arg, source.Text)) {
                std::cerr << arg << ": cannot read the file\n";
                return 1;
            }
            sources.push_back(std::move(source));
        }
    }
    if (output.empty() || sources.empty())
        return Usage();

    const saturn::Assembly assembly = saturn::Assemble(sources);
    for (const saturn::Diagnostic& error : assembly.Errors)
        std::cerr << error.text() << "\n";
    if (!assembly.ok())
        return 1;
    std::vector<uint8_t> image(size, 0);
    if (!assembly.place(image)) {
        std::cerr << output << ": the program does not fit an image of " << size << " nibbles\n";
        return 1;
    }

    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::cerr << output << ": cannot write the image\n";
        std::remove(output.c_str());
        return 1;
    }
    if (!map.empty()) {
        std::ofstream symbols(map, std::ios::trunc);
        for (const auto& [name, value] : assembly.Symbols) {
            char hex[24];
            std::snprintf(hex, sizeof hex, "#%05llX", static_cast<unsigned long long>(value));
            symbols << name << " " << hex << "\n";
        }
        if (!symbols) {
            std::cerr << map << ": cannot write the map\n";
            return 1;
        }
    }
    return 0;
}
