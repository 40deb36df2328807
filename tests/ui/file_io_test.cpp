// Object files read in full or not at all, a file replaced only once its
// new content is whole, and an object file's body and port-1 name.
#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "ui/file_io.h"
#include "ui/object_file.h"

namespace pelrin {
namespace {

std::vector<uint8_t> Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string Make(const QTemporaryDir& dir, const char* name, const std::vector<uint8_t>& bytes)
{
    const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

TEST(Files, AnObjectFileOfAtMost131072BytesIsReadWholeAndOnlyARegularFileIsRead)
{
    QTemporaryDir dir;
    std::vector<uint8_t> largest(131072);
    for (size_t i = 0; i < largest.size(); ++i)
        largest[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(ReadObjectFile(Make(dir, "largest", largest)), largest);
    largest.push_back(1);
    EXPECT_EQ(ReadObjectFile(Make(dir, "over", largest)), std::nullopt);
    EXPECT_EQ(ReadObjectFile(dir.filePath("missing").toStdString()), std::nullopt);
    // A named pipe would block the reader for ever.
    const std::string fifo = dir.filePath("fifo").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadObjectFile(fifo), std::nullopt);
}

TEST(Files, AReplacementTakesTheOldFilesPlaceOnlyWhenEveryByteWasWritten)
{
    QTemporaryDir dir;
    const std::string path = Make(dir, "state", {'o', 'l', 'd'});
    ReplacingFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(file.Write("new", 3));
    EXPECT_EQ(Contents(path), std::vector<uint8_t>({'o', 'l', 'd'}));
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Contents(path), std::vector<uint8_t>({'n', 'e', 'w'}));

    // A disk that fills up: no file of this process may pass 64 KiB.
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 65536;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::vector<uint8_t> big(100000, 1);
    const bool opened = file.Open(path);
    const bool written = file.Write(big.data(), big.size());
    const bool committed = file.Commit();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_TRUE(opened);
    EXPECT_FALSE(written);
    EXPECT_FALSE(committed);
    EXPECT_EQ(Contents(path), std::vector<uint8_t>({'n', 'e', 'w'}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary file left
    EXPECT_FALSE(file.Open(dir.filePath("no/such/dir").toStdString()));
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
