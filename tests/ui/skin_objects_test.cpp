// The "&Object" commands on the real libraries with the demonstration ROM:
// an object on its stack, an entry in port 1, a file received by its
// XModem receiver; the size limit, files too short for an object, and a
// dialog that is cancelled. (The Kermit command is in the console's tests,
// against a scripted peer.)
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

// The string "AB" as a calculator object: prolog 02A2C, length field 9
// (itself and the four nibbles of text), then 41 42; two nibbles a byte,
// the low one first.
const std::vector<uint8_t> StringAB = {0x2C, 0x2A, 0x90, 0x00, 0x00, 0x41, 0x42};
const std::vector<uint8_t> StringABNibbles = {0xC, 0x2, 0xA, 0x2, 0x0, 0x9, 0x0, 0x0, 0x0, 0x0, 0x1, 0x4, 0x2, 0x4};

class ObjectCommands : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Window.ready());
        ASSERT_TRUE(Window.WaitForLcdLine(test::StackLine, "STACK  0000000", 5s));
        Window->OnCommand(CmdConsole, 0);
    }
    // Writes the file and has the next dialog choose it.
    std::string Choose(const char* name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = Dir.filePath(QString::fromLatin1(name)).toStdString();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        uitest::AnswerFileDialogWith(QString::fromStdString(path));
        return path;
    }
    static std::vector<uint8_t> Object(const std::vector<uint8_t>& body)
    {
        std::vector<uint8_t> file = {'H', 'P', 'H', 'P', '4', '9', '-', 'W'};
        file.insert(file.end(), body.begin(), body.end());
        return file;
    }
    static std::vector<uint8_t> Port1(uint32_t from, uint32_t count)
    {
        uint32_t size = 0;
        uint8_t* image = nullptr;
        KHGetPort1(&size, &image);
        if (!image || from + count > size)
            return {};
        return std::vector<uint8_t>(image + from, image + from + count);
    }

    uitest::OpenWindow Window;
    QTemporaryDir Dir;
};

TEST_F(ObjectCommands, LoadOnStackPushesTheObjectAndLeavesTheEngineRunning)
{
    Choose("ab.str", Object(StringAB));
    EXPECT_TRUE(Window->OnCommand(CmdLoadOnStack, 0));
    EXPECT_TRUE(uitest::LastDialogWasForLoading);
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_TRUE(Window.WaitForLcdLine(test::StackLine, "STACK  0000001", 5s)) << Window.LcdLine(test::StackLine);
    // Also when the engine was stopped before.
    KVStop();
    EXPECT_TRUE(Window->OnCommand(CmdLoadOnStack, 0));
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_TRUE(Window.WaitForLcdLine(test::StackLine, "STACK  0000002", 5s)) << Window.LcdLine(test::StackLine);
}

// CRC-16/KERMIT taken a nibble at a time, as the port entry carries it.
uint32_t NibbleCrc(const std::vector<uint8_t>& nibbles)
{
    uint32_t crc = 0;
    for (uint8_t x : nibbles)
        crc = (crc >> 4) ^ (((crc ^ x) & 15) * 0x1081);
    return crc;
}

std::vector<uint8_t> Nibbles(uint32_t value, int count)
{
    std::vector<uint8_t> nibbles;
    for (int i = 0; i < count; ++i)
        nibbles.push_back((value >> (4 * i)) & 0xF);
    return nibbles;
}

TEST_F(ObjectCommands, LoadInPort1StoresTheEntryUnderTheFilesName)
{
    Choose("GAME.LIB", Object(StringAB));
    EXPECT_TRUE(Window->OnCommand(CmdLoadInPort1, 0));
    EXPECT_EQ(KVIsRunning(), 1u);
    // Name length L = 8, head H = 2L + 14 = 30, object d = 14 nibbles.
    std::vector<uint8_t> entry = Nibbles(0x2B62, 5);
    for (const auto& part : {Nibbles(14 + 30 + 5, 5), Nibbles(8, 2)})
        entry.insert(entry.end(), part.begin(), part.end());
    for (char c : std::string("GAME.LIB")) {
        entry.push_back(c & 0xF);
        entry.push_back(c >> 4);
    }
    for (const auto& part : {Nibbles(8, 2), StringABNibbles, Nibbles(0x2911, 5), Nibbles(NibbleCrc(StringABNibbles), 5)})
        entry.insert(entry.end(), part.begin(), part.end());
    ASSERT_EQ(entry.size(), 30u + 14 + 10);
    EXPECT_EQ(Port1(0, static_cast<uint32_t>(entry.size()) + 5), [&] {
        auto withEnd = entry;
        withEnd.insert(withEnd.end(), 5, 0); // the free place after it
        return withEnd;
    }());
}

TEST_F(ObjectCommands, LoadWithXModemHandsTheFileToTheRomsReceiverAndTheConsoleGetsNothing)
{
    std::vector<uint8_t> file(1000);
    unsigned sum = 0;
    for (size_t i = 0; i < file.size(); ++i)
        sum += file[i] = static_cast<uint8_t>(i * 13 + 5);
    Choose("data.bin", file);
    ASSERT_TRUE(Window.WaitForLcdLine(test::XModemLine, "XMODEM PRESS X TO RECEIVE", 5s));
    EXPECT_TRUE(Window->OnCommand(CmdLoadWithXModem, 0));
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
    EXPECT_FALSE(Window->Console->isVisible());
}

TEST_F(ObjectCommands, AFileOf131072BytesIsTakenAndOneByteMoreIsIgnored)
{
    Choose("over.bin", std::vector<uint8_t>(131073, 0x55));
    EXPECT_TRUE(Window->OnCommand(CmdLoadWithXModem, 0));
    EXPECT_EQ(Window->TransferMode.load(), 0);
    EXPECT_TRUE(Window->Console->isVisible());
    Choose("largest.bin", std::vector<uint8_t>(131072, 0x55));
    EXPECT_TRUE(Window->OnCommand(CmdLoadWithXModem, 0));
    EXPECT_EQ(Window->TransferMode.load(), 2);
    EXPECT_FALSE(Window->Console->isVisible());
}

TEST_F(ObjectCommands, FilesOfAHeaderOrLessPlaceNothing)
{
    for (size_t size : {8u, 7u, 1u, 0u}) {
        SCOPED_TRACE(size);
        Choose("short", std::vector<uint8_t>(size, 0x2C));
        EXPECT_TRUE(Window->OnCommand(CmdLoadOnStack, 0));
        EXPECT_TRUE(Window->OnCommand(CmdLoadInPort1, 0));
        EXPECT_EQ(KVIsRunning(), 1u);
    }
    EXPECT_EQ(Port1(0, 0x40000), std::vector<uint8_t>(0x40000, 0));
    // Nothing went on the stack: the next object is the first there.
    Choose("ab.str", Object(StringAB));
    Window->OnCommand(CmdLoadOnStack, 0);
    EXPECT_TRUE(Window.WaitForLcdLine(test::StackLine, "STACK  0000001", 5s)) << Window.LcdLine(test::StackLine);
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
