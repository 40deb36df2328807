// Reading object and state files in full or not at all, replacing a file
// only once its new content is whole, and an object file's body and name.
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ui/file_io.h"
#include "ui/object_file.h"

namespace pelrin {
namespace {

class Files : public testing::Test {
protected:
    std::string Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)).toStdString(); }
    std::string Make(const char* name, const std::vector<uint8_t>& bytes) const
    {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }
    static std::vector<uint8_t> Contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    size_t Entries() const { return QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden).size(); }

    QTemporaryDir Dir;
};

TEST_F(Files, AnObjectFileOfAtMost131072BytesIsReadWhole)
{
    std::vector<uint8_t> largest(131072);
    for (size_t i = 0; i < largest.size(); ++i)
        largest[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(ReadObjectFile(Make("largest", largest)), largest);
    largest.push_back(1);
    EXPECT_EQ(ReadObjectFile(Make("over", largest)), std::nullopt);
    EXPECT_EQ(ReadObjectFile(Make("empty", {})), std::vector<uint8_t>());
    EXPECT_EQ(ReadObjectFile(Path("missing")), std::nullopt);
}

TEST_F(Files, OnlyRegularFilesAreReadAndANamedPipeDoesNotBlock)
{
    EXPECT_EQ(ReadWholeFile(Dir.path().toStdString(), 1 << 20), std::nullopt);
    const std::string fifo = Path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadWholeFile(fifo, 1 << 20), std::nullopt);
    EXPECT_FALSE(InputFile("/dev/zero").IsOpen());
}

TEST_F(Files, AReadPastTheEndFails)
{
    const InputFile file(Make("four", {1, 2, 3, 4}));
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 4u);
    uint8_t bytes[4] = {};
    EXPECT_TRUE(file.ReadAt(1, bytes, 3));
    EXPECT_EQ(bytes[2], 4);
    EXPECT_FALSE(file.ReadAt(2, bytes, 3));
}

TEST_F(Files, ACommittedReplacementTakesTheOldFilesPlaceAndItsPermissions)
{
    const std::string path = Make("state", {9, 9, 9});
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ReplacingFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(file.Write("abc", 3));
    ASSERT_TRUE(file.Write("de", 2));
    EXPECT_EQ(Contents(path), std::vector<uint8_t>({9, 9, 9})); // not yet
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Contents(path), std::vector<uint8_t>({'a', 'b', 'c', 'd', 'e'}));
    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(), 1u); // no temporary file left
}

TEST_F(Files, AWriteThatFallsShortLeavesTheOldFileAndNoTemporaryOne)
{
    const std::vector<uint8_t> old(1000, 0x5A);
    const std::string path = Make("state", old);
    // A disk that fills up: the process may write no file past 64 KiB.
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 65536;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ReplacingFile file;
    const bool opened = file.Open(path);
    const std::vector<uint8_t> big(100000, 1);
    const bool written = opened && file.Write(big.data(), big.size());
    const bool committed = opened && file.Commit();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_TRUE(opened);
    EXPECT_FALSE(written);
    EXPECT_FALSE(committed);
    EXPECT_EQ(Contents(path), old);
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(Files, AnUncommittedReplacementLeavesNothingAndAMissingDirectoryRefusesAtOnce)
{
    const std::string path = Make("state", {1});
    {
        ReplacingFile file;
        ASSERT_TRUE(file.Open(path));
        ASSERT_TRUE(file.Write("xyz", 3));
    }
    EXPECT_EQ(Contents(path), std::vector<uint8_t>({1}));
    EXPECT_EQ(Entries(), 1u);
    ReplacingFile nowhere;
    EXPECT_FALSE(nowhere.Open(Path("no/such/dir/state")));
    EXPECT_FALSE(nowhere.Commit());
}

TEST(ObjectFiles, TheBodyIsTheNibblesAfterTheHeaderLowNibbleFirst)
{
    const std::vector<uint8_t> file = {0x48, 0x50, 0x48, 0x50, 0x34, 0x39, 0x2D, 0x57, 0x2C, 0xE4};
    EXPECT_EQ(ObjectBody(file), std::vector<uint8_t>({0xC, 0x2, 0x4, 0xE}));
    EXPECT_EQ(ObjectBody(std::vector<uint8_t>(8, 0xFF)), std::vector<uint8_t>());
    EXPECT_EQ(ObjectBody(std::vector<uint8_t>(7, 0xFF)), std::nullopt);
    EXPECT_EQ(ObjectBody({}), std::nullopt);
}

TEST(ObjectFiles, ThePort1NameIsThePathAfterItsLastSlash)
{
    EXPECT_EQ(ObjectName("/home/objs/GAME.LIB"), "GAME.LIB");
    EXPECT_EQ(ObjectName("GAME.LIB"), "GAME.LIB");
    EXPECT_EQ(ObjectName("C:\\objs\\GAME.LIB"), "C:\\objs\\GAME.LIB");
    EXPECT_EQ(ObjectName("dir/"), "");
}

} // namespace
} // namespace pelrin
