// The "&Object" commands on the real libraries with the demonstration ROM:
// an object on its stack, an entry in port 1, a file received by its
// XModem receiver, the size limit, files too short for an object, and a
// cancelled dialog. (Kermit is in the console's tests, against a peer.)
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

#include "korvane.h"
#include "tessock.h"
#include "tests/rom/screen.h"
#include "tests/ui/support/open_window.h"
#include "ui/commands.h"
#include "ui/console_dlg.h"

using namespace std::chrono_literals;

namespace pelrin {
namespace {

using Bytes = std::vector<uint8_t>;

// The string "AB" as an object file: an 8-byte header, then prolog 02A2C,
// length field 9 and the text 41 42, two nibbles a byte, the low one first.
const Bytes StringAB = {'H', 'P', 'H', 'P', '4', '9', '-', 'W', 0x2C, 0x2A, 0x90, 0x00, 0x00, 0x41, 0x42};
const Bytes StringABNibbles = {0xC, 0x2, 0xA, 0x2, 0x0, 0x9, 0x0, 0x0, 0x0, 0x0, 0x1, 0x4, 0x2, 0x4};

class ObjectCommands : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Window.ready());
        ASSERT_TRUE(Window.WaitForLcdLine(test::StackLine, "STACK  0000000", 5s));
        Window->OnCommand(CmdConsole, 0);
    }
    // Writes the file and has the next dialog choose it, then runs the command.
    void Load(uint32_t command, const char* name, const Bytes& bytes)
    {
        const QString path = Dir.filePath(QString::fromLatin1(name));
        std::ofstream(path.toStdString(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        uitest::AnswerFileDialogWith(path);
        EXPECT_TRUE(Window->OnCommand(command, 0));
        EXPECT_TRUE(uitest::LastDialogWasForLoading);
    }
    bool StackCount(const char* count) { return Window.WaitForLcdLine(test::StackLine, std::string("STACK  ") + count, 5s); }

    uitest::OpenWindow Window;
    QTemporaryDir Dir;
};

TEST_F(ObjectCommands, LoadOnStackPushesTheObjectAndLeavesTheEngineRunning)
{
    Load(CmdLoadOnStack, "ab.str", StringAB);
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_TRUE(StackCount("0000001")) << Window.LcdLine(test::StackLine);
    KVStop(); // also when it was stopped before
    Load(CmdLoadOnStack, "ab.str", StringAB);
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_TRUE(StackCount("0000002")) << Window.LcdLine(test::StackLine);
}

TEST_F(ObjectCommands, LoadInPort1StoresTheEntryUnderTheFilesName)
{
    Load(CmdLoadInPort1, "GAME.LIB", StringAB);
    EXPECT_EQ(KVIsRunning(), 1u);
    Bytes entry;
    const auto put = [&](uint32_t value, int nibbles) {
        for (int i = 0; i < nibbles; ++i)
            entry.push_back((value >> (4 * i)) & 0xF);
    };
    // Name length L = 8, head H = 2L + 14 = 30, object d = 14 nibbles.
    put(0x2B62, 5);
    put(14 + 30 + 5, 5);
    put(8, 2);
    for (char c : std::string("GAME.LIB"))
        put(static_cast<uint8_t>(c), 2);
    put(8, 2);
    entry.insert(entry.end(), StringABNibbles.begin(), StringABNibbles.end());
    put(0x2911, 5);
    uint32_t crc = 0; // CRC-16/KERMIT a nibble at a time
    for (uint8_t x : StringABNibbles)
        crc = (crc >> 4) ^ (((crc ^ x) & 15) * 0x1081);
    put(crc, 5);
    put(0, 5); // then the free place
    uint32_t size = 0;
    uint8_t* image = nullptr;
    KHGetPort1(&size, &image);
    ASSERT_EQ(size, 0x40000u);
    EXPECT_EQ(Bytes(image, image + entry.size()), entry);
}

TEST_F(ObjectCommands, LoadWithXModemHandsTheFileToTheRomsReceiverAndTheConsoleGetsNothing)
{
    Bytes file(1000);
    unsigned sum = 0;
    for (size_t i = 0; i < file.size(); ++i)
        sum += file[i] = static_cast<uint8_t>(i * 13 + 5);
    ASSERT_TRUE(Window.WaitForLcdLine(test::XModemLine, "XMODEM PRESS X TO RECEIVE", 5s));
    Load(CmdLoadWithXModem, "data.bin", file);
    EXPECT_EQ(Window->TransferMode.load(), 2);
    EXPECT_FALSE(Window->Console->isVisible());
    KVPressKey(4, 2); // X: the ROM asks for the first block
    EXPECT_TRUE(Window.WaitForLcdLine(test::XModemLine, "XMODEM RECEIVING...", 5s));
    KVReleaseKey(4, 2);
    char expected[64];
    std::snprintf(expected, sizeof expected, "XMODEM %07u BYTES SUM %04X", 1000u, sum & 0xFFFF);
    EXPECT_TRUE(Window.WaitForLcdLine(test::XModemLine, expected, 30s)) << Window.LcdLine(test::XModemLine);
    Window->Console->FlushReceivedText();
    EXPECT_TRUE(Window->Console->ReceivedText->toPlainText().isEmpty());
}

TEST_F(ObjectCommands, AFileOf131072BytesIsTakenAndOneByteMoreIsIgnored)
{
    Load(CmdLoadWithXModem, "over.bin", Bytes(131073, 0x55));
    EXPECT_EQ(Window->TransferMode.load(), 0);
    EXPECT_TRUE(Window->Console->isVisible());
    Load(CmdLoadWithXModem, "largest.bin", Bytes(131072, 0x55));
    EXPECT_EQ(Window->TransferMode.load(), 2);
    EXPECT_FALSE(Window->Console->isVisible());
}

TEST_F(ObjectCommands, FilesOfAHeaderOrLessPlaceNothing)
{
    for (size_t size : {8u, 7u, 0u}) {
        Load(CmdLoadOnStack, "short", Bytes(size, 0x2C));
        Load(CmdLoadInPort1, "short", Bytes(size, 0x2C));
    }
    uint32_t size = 0;
    uint8_t* image = nullptr;
    KHGetPort1(&size, &image);
    EXPECT_EQ(Bytes(image, image + size), Bytes(size, 0));
    Load(CmdLoadOnStack, "ab.str", StringAB); // the first object on the stack
    EXPECT_TRUE(StackCount("0000001")) << Window.LcdLine(test::StackLine);
}

TEST_F(ObjectCommands, ACancelledDialogOrAMissingFileChangesNothingAndLeavesTheEngineStopped)
{
    KVStop();
    for (const QString& answer : {QString(), Dir.filePath(QStringLiteral("missing"))}) {
        uitest::AnswerFileDialogWith(answer);
        for (uint32_t command : {CmdLoadWithKermit, CmdLoadWithXModem, CmdLoadOnStack, CmdLoadInPort1}) {
            EXPECT_TRUE(Window->OnCommand(command, 0));
            EXPECT_EQ(KVIsRunning(), 0u) << command;
            EXPECT_EQ(Window->TransferMode.load(), 0) << command;
            EXPECT_TRUE(Window->Console->isVisible()) << command;
        }
    }
}

} // namespace
} // namespace pelrin
