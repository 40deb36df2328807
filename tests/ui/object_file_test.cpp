// Object files: only regular files are read, and an object file's body and
// port-1 name.
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ui/object_file.h"

namespace pelrin {
namespace {

TEST(ObjectFiles, OnlyARegularFileIsReadAndANamedPipeDoesNotBlockTheReader)
{
    // (The size limit and a save that fails are tested through the commands.)
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("fifo").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadObjectFile(fifo), std::nullopt);
    EXPECT_EQ(ReadObjectFile(dir.path().toStdString()), std::nullopt);
    EXPECT_EQ(ReadObjectFile("/dev/zero"), std::nullopt);
}

TEST(ObjectFiles, TheBodyIsTheNibblesAfterTheEightByteHeaderAndTheNameFollowsTheLastSlash)
{
    const std::vector<uint8_t> file = {0x48, 0x50, 0x48, 0x50, 0x34, 0x39, 0x2D, 0x57, 0x2C, 0xE4};
    EXPECT_EQ(ObjectBody(file), std::vector<uint8_t>({0xC, 0x2, 0x4, 0xE}));
    EXPECT_EQ(ObjectBody(std::vector<uint8_t>(8, 0xFF)), std::vector<uint8_t>());
    EXPECT_EQ(ObjectBody(std::vector<uint8_t>(7, 0xFF)), std::nullopt);
    EXPECT_EQ(ObjectName("/home/objs/GAME.LIB"), "GAME.LIB");
    EXPECT_EQ(ObjectName("GAME.LIB"), "GAME.LIB");
}

} // namespace
} // namespace pelrin
