// The console on the real libraries. The demonstration ROM echoes what is
// typed and shows the last eight bytes it received; a scripted peer sends
// what the reader routes by TransferMode.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

#include "korvane.h"
#include "tessock.h"
#include "tests/rom/screen.h"
#include "tests/ui/support/serial_peer.h"
#include "tests/ui/support/window.h"
#include "ui/commands.h"
#include "ui/console_dlg.h"
#include "ui/serial_reader.h"
#include "ui/transfer_writer.h"

using namespace uitest;
using Bytes = std::vector<uint8_t>;

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
        ASSERT_TRUE(Dialog->isVisible() && Window.WaitForLcdLine(test::SerialLine, "SERIAL --"));
    }
    QString Shown()
    {
        Dialog->FlushReceivedText();
        return Dialog->ReceivedText->toPlainText();
    }
    bool WaitForShown(const char* text) { return WaitFor([&] { return Shown() == QLatin1String(text); }); }
    bool RomReceived(const std::string& bytes) { return Window.WaitForLcdLine(test::SerialLine, "SERIAL " + bytes); }

    OpenWindow Window;
    CConsoleDlg* Dialog = nullptr;
};

TEST_F(Console, TypedCharactersGoOutOneByOneAndTheirEchoShowsAfterWhatTheUserTypedThere)
{
    QTest::keyClicks(Dialog->ReceivedText, "hi ");
    Dialog->ReceivedText->moveCursor(QTextCursor::Start);
    QTest::keyClicks(Dialog->InputEdit, "AB");
    EXPECT_TRUE(RomReceived("41 42")) << Window.LcdLine(test::SerialLine);
    EXPECT_TRUE(WaitForShown("hi AB")) << Shown().toStdString();
    EXPECT_EQ(Dialog->ReceivedText->textCursor().position(), 0); // the user's caret stays
    // Escape hides the console; bytes still arrive while it is hidden.
    QTest::keyClick(Dialog->InputEdit, Qt::Key_Escape);
    EXPECT_FALSE(Dialog->isVisible());
    ASSERT_EQ(KHSerialSendByte('C', 1000), 1u);
    EXPECT_TRUE(WaitForShown("hi ABC"));
    // A paste sends its last character, Backspace re-sends, an emptied line sends nothing.
    Dialog->InputEdit->insert("xyz");
    EXPECT_TRUE(RomReceived("41 42 43 7A")) << Window.LcdLine(test::SerialLine);
    QTest::keyClick(Dialog->InputEdit, Qt::Key_Backspace);
    EXPECT_TRUE(RomReceived("41 42 43 7A 79")) << Window.LcdLine(test::SerialLine);
    Dialog->InputEdit->clear();
    QTest::keyClicks(Dialog->InputEdit, "abc");
    EXPECT_TRUE(RomReceived("41 42 43 7A 79 61 62 63")) << Window.LcdLine(test::SerialLine);
    ASSERT_TRUE(WaitForShown("hi ABCzyabc")) << Shown().toStdString();

    // With the link never ready (the calculator stopped, a byte waiting in
    // its register) each character is removed after 200 ms, one by one, each
    // removal a change of its own made inside the one before it.
    KVStop();
    ASSERT_EQ(KHSerialSendByte('!', 1000), 1u);
    QStringList lines;
    QObject::connect(Dialog->InputEdit, &QLineEdit::textChanged, [&](const QString& text) { lines << text; });
    QElapsedTimer clock;
    clock.start();
    QTest::keyClicks(Dialog->InputEdit, "d");
    const qint64 spent = clock.elapsed();
    std::sort(lines.begin(), lines.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
    EXPECT_EQ(lines, QStringList({"abcd", "abc", "ab", "a", ""}));
    EXPECT_GE(spent, 4 * 200 - 20);
    EXPECT_LT(spent, PELRIN_INSTRUMENTED ? 8000 : 4000);
    KVRun(); // only the byte that waited in the register arrives
    EXPECT_TRUE(WaitForShown("hi ABCzyabc!")) << Shown().toStdString();
}

class PeerConsole : public Console {
protected:
    // The calculator sends the bytes; true once the reader has handed them on.
    bool CalculatorSends(const Bytes& bytes)
    {
        const uint64_t count = Window->ReaderThread->Routed() + bytes.size();
        Peer.Transmit(bytes);
        return WaitFor([&] { return Window->ReaderThread->Routed() >= count; }) && Window->ReaderThread->Routed() == count;
    }
    SerialPeer Peer;
};

TEST_F(PeerConsole, ByteRoutingFollowsTransferModeAndKermitSendsItsFileAsFoo)
{
    // The Send-Init (packets up to 64 long), an acknowledgement keeping that
    // length, and the file header it releases: "FOO", sequence 1.
    const Bytes init = {0x01, 0x2B, 0x20, 0x53, 0x60, 0x2A, 0x20, 0x40, 0x2D, 0x23, 0x59, 0x33, 0x45, 0x0D};
    const Bytes ack = {0x01, 0x2B, 0x20, 0x59, 0x60, 0x2A, 0x20, 0x40, 0x2D, 0x23, 0x59, 0x33, 0x46, 0x0D};
    const Bytes header = {0x01, 0x28, 0x21, 0x46, 0x46, 0x4F, 0x4F, 0x23, 0x54, 0x52, 0x0D};
    QFile file(Window.Path("object"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("some object") == 11);
    file.close();
    AnswerFileDialogWith(file.fileName());
    // The command never waits for the calculator, even stopped (ten times
    // the 50 ms it may hold the window); the packet goes out all the same
    // once the calculator runs again.
    const auto startKermit = [&] {
        const size_t count = Peer.Received().size() + init.size();
        KVStop();
        QElapsedTimer clock;
        clock.start();
        Window->OnCommand(CmdLoadWithKermit, 0);
        EXPECT_LT(clock.elapsed(), 500);
        return Peer.Received(count).size() == count;
    };
    ASSERT_TRUE(CalculatorSends({0x41, 0x00, 0x42})); // 0: the console; a zero byte shows nothing
    EXPECT_TRUE(WaitForShown("AB"));
    // 1: the Kermit receiver. "A" where it waits for a packet's start stops
    // the transfer: the acknowledgement after it releases no file header.
    ASSERT_TRUE(startKermit());
    EXPECT_FALSE(Dialog->isVisible());
    Bytes stalling = ack;
    stalling.insert(stalling.begin(), 0x41);
    ASSERT_TRUE(CalculatorSends(stalling));
    EXPECT_EQ(Peer.Received(init.size() + 1, 300ms).size(), init.size());
    // 3: nowhere. The same bytes neither show nor reach the receiver, which
    // takes the acknowledgement once the mode is 1 again.
    ASSERT_TRUE(startKermit());
    Window->TransferMode = 3;
    ASSERT_TRUE(CalculatorSends(stalling));
    Window->TransferMode = 1;
    ASSERT_TRUE(CalculatorSends(ack));
    Bytes expected = init;
    for (const Bytes& packet : {init, header})
        expected.insert(expected.end(), packet.begin(), packet.end());
    EXPECT_EQ(Peer.Received(expected.size()), expected);
    Window->OnCommand(CmdConsole, 0); // the way back to the console
    ASSERT_TRUE(CalculatorSends({'C'}));
    EXPECT_TRUE(WaitForShown("ABC"));
}

TEST_F(PeerConsole, BurstsOf100000BytesAllShowWhileTheWindowStaysResponsive)
{
    // 1000 times 99 characters and the byte ending them, in lines or as one
    // line: every byte arrives, however fast the calculator sends, and the
    // event loop, ticking every 10 ms, is never held for long (ten times the
    // 50 ms a transfer may hold it).
    for (const char end : {'\n', '-'}) {
        Bytes line(100, end);
        for (int i = 0; i < 99; ++i)
            line[i] = static_cast<uint8_t>('!' + i % 90);
        Dialog->ReceivedText->clear();
        const QTextDocument* text = Dialog->ReceivedText->document();
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        Peer.Transmit(line, 999);
        sinceTick.start();
        ticker.start(10);
        // Each byte is one character; the text ends with its last paragraph's end.
        const bool shown = WaitFor([&] { return text->characterCount() >= 100000 + 1; }, 60s);
        ASSERT_TRUE(shown) << text->characterCount() << " characters";
        QString expected;
        for (int i = 0; i < 1000; ++i)
            expected += QString::fromLatin1(reinterpret_cast<const char*>(line.data()), 100);
        EXPECT_TRUE(Dialog->ReceivedText->toPlainText() == expected);
        EXPECT_LE(longestGap, 500);
    }
}

// Closing the window ends a transfer under way at once, whatever the
// calculator does: stopped in the middle of an XModem block, reset during
// one (its echo of every byte used to bring the block again, for ever), or
// stopped while the Kermit Send-Init waits for it. The window is gone well
// within ten times the second it may take.
TEST(Transfers, ClosingTheWindowEndsATransferAtOnceInEveryState)
{
    enum State { StoppedMidXModem, ResetMidXModem, StoppedMidKermit };
    for (const State state : {StoppedMidXModem, ResetMidXModem, StoppedMidKermit}) {
        OpenWindow window;
        ASSERT_TRUE(window.ready());
        QFile file(window.Path("object"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(131072, 0x55)) == 131072);
        file.close();
        AnswerFileDialogWith(file.fileName());
        if (state == StoppedMidKermit) {
            KVStop();
            window->OnCommand(CmdLoadWithKermit, 0);
        } else {
            // The ROM receives once X is pressed; the transfer is under way
            // once a block is on its way.
            ASSERT_TRUE(window.WaitForLcdLine(test::XModemLine, "XMODEM PRESS X TO RECEIVE"));
            window->OnCommand(CmdLoadWithXModem, 0);
            KVPressKey(4, 2);
            ASSERT_TRUE(window.WaitForLcdLine(test::XModemLine, "XMODEM RECEIVING..."));
            KVReleaseKey(4, 2);
            ASSERT_TRUE(WaitFor([&] { return window->Writer->Waiting() > 0; }));
            if (state == StoppedMidXModem) {
                KVStop();
            } else {
                window->OnCommand(CmdReset, 0); // from now on the ROM echoes what it receives
                ASSERT_TRUE(window.WaitForLcdLine(test::XModemLine, "XMODEM PRESS X TO RECEIVE"));
            }
        }
        QElapsedTimer clock;
        clock.start();
        window->close();
        EXPECT_LT(clock.elapsed(), 10000) << state;
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(TransferWriter::Current(), nullptr) << "nothing is left to send";
    }
}

} // namespace
} // namespace pelrin
