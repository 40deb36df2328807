// The console on the real libraries: what is typed reaches the calculator
// (the demonstration ROM echoes it and shows the last bytes it received),
// what the calculator sends shows while TransferMode is 0 and goes to the
// Kermit receiver or nowhere otherwise (a scripted peer sends it), and a
// burst of 100,000 bytes shows quickly with the window responsive.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
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
        ASSERT_NE(Dialog, nullptr);
        ASSERT_FALSE(Dialog->isVisible()); // created hidden
        ASSERT_TRUE(Window->OnCommand(CmdConsole, 0));
        ASSERT_TRUE(Dialog->isVisible());
        ASSERT_TRUE(Window.WaitForLcdLine(test::SerialLine, "SERIAL --", 5s));
    }
    QString Shown()
    {
        Dialog->FlushReceivedText();
        return Dialog->ReceivedText->toPlainText();
    }
    bool WaitForShown(const QString& text)
    {
        return uitest::WaitFor([&] { return Shown() == text; }, 5s);
    }
    uint64_t Routed() const { return Window->ReaderThread->Routed(); }
    bool WaitForRouted(uint64_t count)
    {
        const bool reached = uitest::WaitFor([&] { return Routed() >= count; }, 5s);
        EXPECT_EQ(Routed(), count) << (reached ? "more" : "fewer") << " bytes than sent came";
        return reached && Routed() == count;
    }

    uitest::OpenWindow Window;
    CConsoleDlg* Dialog = nullptr;
};

TEST_F(Console, TypedCharactersReachTheCalculatorAndItsEchoShows)
{
    QTest::keyClicks(Dialog->InputEdit, QStringLiteral("AB"));
    EXPECT_TRUE(WaitForShown(QStringLiteral("AB"))) << Shown().toStdString();
    EXPECT_TRUE(Window.WaitForLcdLine(test::SerialLine, "SERIAL 41 42", 5s)) << Window.LcdLine(test::SerialLine);
    EXPECT_EQ(Dialog->InputEdit->text(), QStringLiteral("AB")); // what was sent stays
}

TEST_F(Console, APasteSendsOnlyTheCharacterBeforeTheCaret)
{
    // A paste is one insertion of the whole text, as QLineEdit::paste does.
    Dialog->InputEdit->insert(QStringLiteral("xyz"));
    EXPECT_TRUE(Window.WaitForLcdLine(test::SerialLine, "SERIAL 7A", 5s)) << Window.LcdLine(test::SerialLine);
    EXPECT_TRUE(WaitForShown(QStringLiteral("z")));
}

TEST_F(Console, BackspaceSendsTheCharacterNowBeforeTheCaretAgainAndAnEmptiedLineSendsNothing)
{
    QTest::keyClicks(Dialog->InputEdit, QStringLiteral("ab"));
    ASSERT_TRUE(WaitForShown(QStringLiteral("ab")));
    QTest::keyClick(Dialog->InputEdit, Qt::Key_Backspace);
    EXPECT_TRUE(WaitForShown(QStringLiteral("aba")));
    QTest::keyClick(Dialog->InputEdit, Qt::Key_Backspace);
    EXPECT_TRUE(Dialog->InputEdit->text().isEmpty());
    // The emptied line sent nothing: the next character follows at once.
    QTest::keyClicks(Dialog->InputEdit, QStringLiteral("c"));
    EXPECT_TRUE(WaitForShown(QStringLiteral("abac"))) << Shown().toStdString();
    EXPECT_TRUE(Window.WaitForLcdLine(test::SerialLine, "SERIAL 61 62 61 63", 5s)) << Window.LcdLine(test::SerialLine);
}

TEST_F(Console, WithTheLinkNeverReadyEachCharacterIsRemovedOneByOneAfter200Ms)
{
    QTest::keyClicks(Dialog->InputEdit, QStringLiteral("abc"));
    ASSERT_TRUE(WaitForShown(QStringLiteral("abc")));
    // The calculator stops reading: one byte fills its receive register and
    // the link is never ready again.
    KVStop();
    ASSERT_EQ(KHSerialSendByte('!', 1000), 1u);
    QStringList lines;
    QObject::connect(Dialog->InputEdit, &QLineEdit::textChanged, [&](const QString& text) { lines << text; });
    QElapsedTimer clock;
    clock.start();
    QTest::keyClicks(Dialog->InputEdit, QStringLiteral("d"));
    const qint64 spent = clock.elapsed();
    // Each removal is a change of its own, made inside the one before it.
    std::sort(lines.begin(), lines.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    EXPECT_EQ(lines, QStringList({"abcd", "abc", "ab", "a", ""}));
    EXPECT_GE(spent, 4 * 200 - 20);
    EXPECT_LT(spent, PELRIN_INSTRUMENTED ? 8000 : 4000);
    // Only the byte that was in the register arrives once it reads again.
    KVRun();
    EXPECT_TRUE(WaitForShown(QStringLiteral("abc!"))) << Shown().toStdString();
    EXPECT_TRUE(Window.WaitForLcdLine(test::SerialLine, "SERIAL 61 62 63 21", 5s));
}

TEST_F(Console, EscapeEnterAndCloseHideItAndTheConsoleCommandShowsItWithTheTextKept)
{
    QTest::keyClicks(Dialog->InputEdit, QStringLiteral("k"));
    ASSERT_TRUE(WaitForShown(QStringLiteral("k")));
    const auto hides = [&](const std::function<void()>& action) {
        Window->OnCommand(CmdConsole, 0);
        if (!Dialog->isVisible())
            return false;
        action();
        return !Dialog->isVisible();
    };
    EXPECT_TRUE(hides([&] { QTest::keyClick(Dialog->InputEdit, Qt::Key_Escape); }));
    EXPECT_TRUE(hides([&] { QTest::keyClick(Dialog->InputEdit, Qt::Key_Return); }));
    EXPECT_TRUE(hides([&] { QTest::keyClick(Dialog->ReceivedText, Qt::Key_Enter, Qt::KeypadModifier); }));
    EXPECT_TRUE(hides([&] { QTest::mouseClick(Dialog->CloseButton, Qt::LeftButton); }));
    EXPECT_EQ(Shown(), QStringLiteral("k"));
    EXPECT_EQ(Dialog->InputEdit->text(), QStringLiteral("k"));
    // Hidden, it still receives.
    ASSERT_EQ(KHSerialSendByte('m', 1000), 1u);
    EXPECT_TRUE(WaitForShown(QStringLiteral("km")));
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("Console"));
}

TEST_F(Console, TextTypedIntoTheReceivedTextStaysAndTheNextByteFollowsIt)
{
    QTest::keyClicks(Dialog->ReceivedText, QStringLiteral("hello"));
    Dialog->ReceivedText->moveCursor(QTextCursor::Start);
    ASSERT_EQ(KHSerialSendByte('A', 1000), 1u);
    EXPECT_TRUE(WaitForShown(QStringLiteral("helloA"))) << Shown().toStdString();
    EXPECT_EQ(Dialog->ReceivedText->textCursor().position(), 0); // the user's caret stays
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
        const uint64_t before = Routed();
        Peer->Transmit(bytes);
        return WaitForRouted(before + bytes.size());
    }
    // Starts "Load with &Kermit"; true once its Send-Init has arrived.
    bool StartKermit()
    {
        const size_t before = Peer->Received().size();
        Window->OnCommand(CmdLoadWithKermit, 0);
        return Peer->WaitForReceived(before + SendInit.size(), 5s).size() == before + SendInit.size();
    }

    // The Send-Init of a sender whose packets may be 64 long, and an
    // acknowledgement of it that keeps that length.
    const std::vector<uint8_t> SendInit = {0x01, 0x2B, 0x20, 0x53, 0x60, 0x2A, 0x20, 0x40, 0x2D, 0x23, 0x59, 0x33, 0x45, 0x0D};
    const std::vector<uint8_t> SendInitAck = {0x01, 0x2B, 0x20, 0x59, 0x60, 0x2A, 0x20, 0x40, 0x2D, 0x23, 0x59, 0x33, 0x46, 0x0D};
    // The file header that the acknowledgement releases: "FOO", sequence 1.
    const std::vector<uint8_t> FileHeader = {0x01, 0x28, 0x21, 0x46, 0x46, 0x4F, 0x4F, 0x23, 0x54, 0x52, 0x0D};
    QTemporaryDir Dir;
    std::unique_ptr<uitest::SerialPeer> Peer;
};

TEST_F(PeerConsole, ByteRoutingFollowsTransferMode)
{
    // 0: the console; a zero byte shows nothing.
    ASSERT_TRUE(CalculatorSends({0x41, 0x00, 0x42}));
    EXPECT_TRUE(WaitForShown(QStringLiteral("AB")));

    // 1: the Kermit receiver. "A" where it waits for the start of the
    // acknowledgement stops the transfer, so the acknowledgement after it
    // releases no file header.
    ASSERT_TRUE(StartKermit());
    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_EQ(Window->TransferMode.load(), 1);
    std::vector<uint8_t> stalled = {0x41};
    stalled.insert(stalled.end(), SendInitAck.begin(), SendInitAck.end());
    ASSERT_TRUE(CalculatorSends(stalled));
    EXPECT_EQ(Peer->WaitForReceived(SendInit.size() + 1, 300ms).size(), SendInit.size());

    // 3: nowhere. The same bytes neither show nor reach the receiver, which
    // then still takes the acknowledgement once the mode is 1 again.
    ASSERT_TRUE(StartKermit());
    Window->TransferMode = 3;
    ASSERT_TRUE(CalculatorSends(stalled));
    Window->TransferMode = 1;
    ASSERT_TRUE(CalculatorSends(SendInitAck));
    std::vector<uint8_t> expected = SendInit;
    expected.insert(expected.end(), SendInit.begin(), SendInit.end());
    expected.insert(expected.end(), FileHeader.begin(), FileHeader.end());
    EXPECT_EQ(Peer->WaitForReceived(expected.size(), 5s), expected);
    EXPECT_EQ(Shown(), QStringLiteral("AB"));

    // The console command gives the bytes back to the console.
    Window->OnCommand(CmdConsole, 0);
    EXPECT_EQ(Window->TransferMode.load(), 0);
    ASSERT_TRUE(CalculatorSends({'C'}));
    EXPECT_TRUE(WaitForShown(QStringLiteral("ABC")));
}

// The calculator sends 1000 times a line of 99 characters and the byte
// ending it; true once the received text holds all 100,000 bytes within the
// time allowed, the window's event loop never held for long meanwhile.
void ExpectBurstShowsQuickly(uitest::SerialPeer& peer, CConsoleDlg& dialog, uint8_t lineEnd,
                             const char* figure)
{
    std::vector<uint8_t> line;
    for (int i = 0; i < 99; ++i)
        line.push_back(static_cast<uint8_t>('!' + i % 90));
    line.push_back(lineEnd);
    constexpr int Lines = 1000;
    const QTextDocument* text = dialog.ReceivedText->document();

    // The event loop ticks every 10 ms; the longest gap between two ticks
    // is how long the window was held.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    QElapsedTimer clock;
    clock.start();
    peer.Transmit(line, Lines - 1);
    sinceTick.start();
    ticker.start(10);
    // Every byte is one character (a line feed ends a paragraph), and the
    // text ends with the end of its last paragraph.
    const bool shown = uitest::WaitFor([&] { return text->characterCount() >= 100000 + 1; }, 30s);
    const qint64 took = clock.elapsed();
    ticker.stop();
    std::printf("FIGURE %s_ms=%lld longest_event_loop_gap_ms=%lld\n", figure, static_cast<long long>(took),
                static_cast<long long>(longestGap));
    ASSERT_TRUE(shown) << text->characterCount() << " characters";
    EXPECT_EQ(text->characterCount(), 100000 + 1);
    const QString all = dialog.ReceivedText->toPlainText();
    EXPECT_EQ(all.right(100).toStdString(), std::string(line.begin(), line.end()));
    EXPECT_LE(took, PELRIN_INSTRUMENTED ? 10000 : 2000);
    EXPECT_LE(longestGap, PELRIN_INSTRUMENTED ? 1000 : 250);
}

TEST_F(PeerConsole, ABurstOf100000BytesInLinesShowsWithinTwoSecondsWhileTheWindowStaysResponsive)
{
    ExpectBurstShowsQuickly(*Peer, *Dialog, '\n', "console_burst_100000_bytes_in_lines");
    EXPECT_EQ(Dialog->ReceivedText->document()->blockCount(), 1000 + 1);
}

TEST_F(PeerConsole, ABurstOf100000BytesWithoutALineBreakShowsAsQuickly)
{
    // One paragraph that grows by every byte: the text box lays all of it
    // out again at each take, so the takes must not come per byte.
    ExpectBurstShowsQuickly(*Peer, *Dialog, '-', "console_burst_100000_bytes_one_line");
    EXPECT_EQ(Dialog->ReceivedText->document()->blockCount(), 1);
}

} // namespace
} // namespace pelrin
