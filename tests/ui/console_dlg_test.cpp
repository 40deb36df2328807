// The console on the real libraries. What is typed reaches the calculator:
// the demonstration ROM echoes it and shows the last bytes it received.
// What the calculator sends shows while TransferMode is 0 and goes to the
// Kermit receiver or nowhere otherwise: a scripted peer sends it. A burst
// of 100,000 bytes shows quickly, the window responsive meanwhile.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

#include "korvane.h"
#include "tessock.h"
#include "tests/rom/screen.h"
#include "tests/ui/support/open_window.h"
#include "tests/ui/support/serial_peer.h"
#include "ui/commands.h"
#include "ui/console_dlg.h"
#include "ui/serial_reader.h"

using namespace std::chrono_literals;

namespace pelrin {
namespace {

class Console : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Window.ready());
        Dialog = Window->Console;
        ASSERT_FALSE(Dialog->isVisible()); // created hidden
        Window->OnCommand(CmdConsole, 0);
        ASSERT_TRUE(Dialog->isVisible());
        ASSERT_TRUE(Window.WaitForLcdLine(test::SerialLine, "SERIAL --", 5s));
    }
    QString Shown()
    {
        Dialog->FlushReceivedText();
        return Dialog->ReceivedText->toPlainText();
    }
    bool WaitForShown(const char* text)
    {
        return uitest::WaitFor([&] { return Shown() == QLatin1String(text); }, 5s);
    }
    bool RomReceived(const std::string& bytes)
    {
        return Window.WaitForLcdLine(test::SerialLine, "SERIAL " + bytes, 5s);
    }
    void Type(const char* text) { QTest::keyClicks(Dialog->InputEdit, QString::fromLatin1(text)); }

    uitest::OpenWindow Window;
    CConsoleDlg* Dialog = nullptr;
};

TEST_F(Console, EachTypedCharacterGoesOutAndItsEchoShowsAfterWhatTheUserTypedThere)
{
    QTest::keyClicks(Dialog->ReceivedText, QStringLiteral("hi "));
    Dialog->ReceivedText->moveCursor(QTextCursor::Start);
    Type("AB");
    EXPECT_TRUE(RomReceived("41 42")) << Window.LcdLine(test::SerialLine);
    EXPECT_TRUE(WaitForShown("hi AB")) << Shown().toStdString();
    EXPECT_EQ(Dialog->ReceivedText->textCursor().position(), 0); // the user's caret stays
    EXPECT_EQ(Dialog->InputEdit->text(), QStringLiteral("AB"));
    // Escape hides the console; bytes still arrive while it is hidden.
    QTest::keyClick(Dialog->InputEdit, Qt::Key_Escape);
    EXPECT_FALSE(Dialog->isVisible());
    ASSERT_EQ(KHSerialSendByte('C', 1000), 1u);
    EXPECT_TRUE(WaitForShown("hi ABC"));
}

TEST_F(Console, APasteSendsTheLastCharacterBackspaceResendsAndAnEmptiedLineSendsNothing)
{
    Dialog->InputEdit->insert(QStringLiteral("xyz")); // a paste is one insertion
    EXPECT_TRUE(RomReceived("7A")) << Window.LcdLine(test::SerialLine);
    QTest::keyClick(Dialog->InputEdit, Qt::Key_Backspace);
    EXPECT_TRUE(RomReceived("7A 79")) << Window.LcdLine(test::SerialLine);
    Dialog->InputEdit->clear();
    Type("c"); // the emptied line sent nothing before it
    EXPECT_TRUE(RomReceived("7A 79 63")) << Window.LcdLine(test::SerialLine);
    EXPECT_TRUE(WaitForShown("zyc"));
}

TEST_F(Console, WithTheLinkNeverReadyEachCharacterIsRemovedOneByOneAfter200Ms)
{
    Type("abc");
    ASSERT_TRUE(WaitForShown("abc"));
    // The calculator stops reading: one byte fills its receive register and
    // the link is never ready again.
    KVStop();
    ASSERT_EQ(KHSerialSendByte('!', 1000), 1u);
    QStringList lines;
    QObject::connect(Dialog->InputEdit, &QLineEdit::textChanged, [&](const QString& text) { lines << text; });
    QElapsedTimer clock;
    clock.start();
    Type("d");
    const qint64 spent = clock.elapsed();
    // Each removal is a change of its own, made inside the one before it.
    std::sort(lines.begin(), lines.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    EXPECT_EQ(lines, QStringList({"abcd", "abc", "ab", "a", ""}));
    EXPECT_GE(spent, 4 * 200 - 20);
    EXPECT_LT(spent, PELRIN_INSTRUMENTED ? 8000 : 4000);
    KVRun(); // only the byte that waited in the register arrives
    EXPECT_TRUE(WaitForShown("abc!")) << Shown().toStdString();
}

class PeerConsole : public Console {
protected:
    void SetUp() override
    {
        Console::SetUp();
        Peer = std::make_unique<uitest::SerialPeer>();
        ASSERT_TRUE(Peer->ok());
        const std::string path = Dir.filePath(QStringLiteral("object")).toStdString();
        std::ofstream(path, std::ios::binary) << "some object";
        uitest::AnswerFileDialogWith(QString::fromStdString(path));
    }
    // The calculator sends the bytes; true once the reader has handed them on.
    bool CalculatorSends(const std::vector<uint8_t>& bytes)
    {
        const uint64_t count = Window->ReaderThread->Routed() + bytes.size();
        Peer->Transmit(bytes);
        uitest::WaitFor([&] { return Window->ReaderThread->Routed() >= count; }, 5s);
        return Window->ReaderThread->Routed() == count;
    }
    // "Load with &Kermit"; true once its Send-Init has arrived.
    bool StartKermit()
    {
        const size_t count = Peer->Received().size() + SendInit.size();
        Window->OnCommand(CmdLoadWithKermit, 0);
        return Peer->WaitForReceived(count, 5s).size() == count;
    }

    // The Send-Init of a sender whose packets may be 64 long, an
    // acknowledgement that keeps that length, and the file header that the
    // acknowledgement releases: "FOO", sequence 1.
    const std::vector<uint8_t> SendInit = {0x01, 0x2B, 0x20, 0x53, 0x60, 0x2A, 0x20, 0x40, 0x2D, 0x23, 0x59, 0x33, 0x45, 0x0D};
    const std::vector<uint8_t> SendInitAck = {0x01, 0x2B, 0x20, 0x59, 0x60, 0x2A, 0x20, 0x40, 0x2D, 0x23, 0x59, 0x33, 0x46, 0x0D};
    const std::vector<uint8_t> FileHeader = {0x01, 0x28, 0x21, 0x46, 0x46, 0x4F, 0x4F, 0x23, 0x54, 0x52, 0x0D};
    QTemporaryDir Dir;
    std::unique_ptr<uitest::SerialPeer> Peer;
};

TEST_F(PeerConsole, ByteRoutingFollowsTransferModeAndKermitSendsItsFileAsFoo)
{
    ASSERT_TRUE(CalculatorSends({0x41, 0x00, 0x42})); // 0: the console; a zero byte shows nothing
    EXPECT_TRUE(WaitForShown("AB"));

    // 1: the Kermit receiver. "A" where it waits for the start of the
    // acknowledgement stops the transfer: the acknowledgement after it
    // releases no file header.
    ASSERT_TRUE(StartKermit());
    EXPECT_FALSE(Dialog->isVisible());
    std::vector<uint8_t> stalling(1 + SendInitAck.size(), 0x41);
    std::copy(SendInitAck.begin(), SendInitAck.end(), stalling.begin() + 1);
    ASSERT_TRUE(CalculatorSends(stalling));
    EXPECT_EQ(Peer->WaitForReceived(SendInit.size() + 1, 300ms).size(), SendInit.size());

    // 3: nowhere. The same bytes neither show nor reach the receiver, which
    // takes the acknowledgement once the mode is 1 again.
    ASSERT_TRUE(StartKermit());
    Window->TransferMode = 3;
    ASSERT_TRUE(CalculatorSends(stalling));
    Window->TransferMode = 1;
    ASSERT_TRUE(CalculatorSends(SendInitAck));
    std::vector<uint8_t> expected = SendInit;
    for (const auto& packet : {SendInit, FileHeader})
        expected.insert(expected.end(), packet.begin(), packet.end());
    EXPECT_EQ(Peer->WaitForReceived(expected.size(), 5s), expected);

    Window->OnCommand(CmdConsole, 0); // the way back to the console
    ASSERT_TRUE(CalculatorSends({'C'}));
    EXPECT_TRUE(WaitForShown("ABC"));
}

// The calculator sends 1000 times a line of 99 characters and the byte
// ending it: all of it shows within 2 s, and the event loop, ticking every
// 10 ms, is never held for long.
void ExpectBurstShowsQuickly(uitest::SerialPeer& peer, CConsoleDlg& dialog, uint8_t lineEnd, const char* figure)
{
    std::vector<uint8_t> line;
    for (int i = 0; i < 99; ++i)
        line.push_back(static_cast<uint8_t>('!' + i % 90));
    line.push_back(lineEnd);
    const QTextDocument* text = dialog.ReceivedText->document();
    QElapsedTimer clock, sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    clock.start();
    peer.Transmit(line, 999);
    sinceTick.start();
    ticker.start(10);
    // Each byte is one character, and the text ends with its last paragraph's end.
    const bool shown = uitest::WaitFor([&] { return text->characterCount() >= 100000 + 1; }, 30s);
    const qint64 took = clock.elapsed();
    ticker.stop();
    std::printf("FIGURE %s_ms=%lld longest_event_loop_gap_ms=%lld\n", figure, static_cast<long long>(took),
                static_cast<long long>(longestGap));
    ASSERT_TRUE(shown) << text->characterCount() << " characters";
    EXPECT_EQ(text->characterCount(), 100000 + 1);
    EXPECT_EQ(dialog.ReceivedText->toPlainText().right(100).toStdString(), std::string(line.begin(), line.end()));
    EXPECT_LE(took, PELRIN_INSTRUMENTED ? 10000 : 2000);
    EXPECT_LE(longestGap, PELRIN_INSTRUMENTED ? 1000 : 250);
}

TEST_F(PeerConsole, ABurstOf100000BytesInLinesShowsWithinTwoSecondsWhileTheWindowStaysResponsive)
{
    ExpectBurstShowsQuickly(*Peer, *Dialog, '\n', "console_burst_100000_bytes_in_lines");
}

TEST_F(PeerConsole, ABurstOf100000BytesWithoutALineBreakShowsAsQuickly)
{
    // One paragraph that every byte lengthens, laid out whole at every take.
    ExpectBurstShowsQuickly(*Peer, *Dialog, '-', "console_burst_100000_bytes_one_line");
}

} // namespace
} // namespace pelrin
