// The command-line tool: a raw image of the requested size, a map of the
// names, and a failure status with the file and line for bad source.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace {

struct TempDir {
    TempDir()
    {
        char pattern[] = "/tmp/saturn-asm-XXXXXX";
        Path = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(Path); }
    std::string file(const std::string& name, const std::string& text = "") const
    {
        const std::string path = Path + "/" + name;
        if (!text.empty())
            std::ofstream(path) << text;
        return path;
    }
    std::string Path;
};

int RunTool(const std::string& arguments, const std::string& errors)
{
    return std::system((std::string(SATURN_ASM_PATH) + " " + arguments + " 2>" + errors).c_str());
}

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SaturnAsmTool, WritesARawImageAndAMap)
{
    TempDir dir;
    const std::string source = dir.file("a.s", "ORG #10\nstart: LC(2) #A5\nEND = start+4\n");
    const std::string image = dir.file("out.bin"), map = dir.file("out.map"), errors = dir.file("err");
    ASSERT_EQ(RunTool("-s 0x1000 -m " + map + " -o " + image + " " + source, errors), 0) << Read(errors);
    const std::string bytes = Read(image);
    ASSERT_EQ(bytes.size(), 0x1000u);
    EXPECT_EQ(bytes.substr(0x10, 4), std::string("\x03\x01\x05\x0A", 4));
    EXPECT_EQ(bytes[0x0F], 0);
    EXPECT_EQ(Read(map), "END #00014\nstart #00010\n");
}

TEST(SaturnAsmTool, BadSourceFailsWithFileAndLineAndWritesNoImage)
{
    TempDir dir;
    const std::string source = dir.file("bad.s", "RTN\nGOTO missing\n");
    const std::string image = dir.file("out.bin"), errors = dir.file("err");
    EXPECT_NE(RunTool("-o " + image + " " + source, errors), 0);
    EXPECT_NE(Read(errors).find(source + ":2: error: unknown name 'missing'"), std::string::npos) << Read(errors);
    EXPECT_FALSE(std::filesystem::exists(image));
    EXPECT_NE(RunTool("-o " + image + " " + dir.file("absent.s"), errors), 0);
    EXPECT_NE(Read(errors).find("cannot read"), std::string::npos);
    EXPECT_NE(RunTool("-s 12 -o " + image + " " + source, errors), 0);
    // Too big for the image asked for.
    const std::string high = dir.file("high.s", "ORG #2000\nRTN\n");
    EXPECT_NE(RunTool("-s 0x1000 -o " + image + " " + high, errors), 0);
    EXPECT_NE(Read(errors).find("does not fit"), std::string::npos);
}

} // namespace
