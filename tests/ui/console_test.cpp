// The console on the real libraries. The demonstration ROM echoes what is
// typed and shows the last eight bytes it received; a scripted peer sends
// what the reader routes by TransferMode.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

#include "korvane.h"
#include "saturn_asm/assembler.h"
#include "tessock.h"
#include "tests/rom/screen.h"
#include "tests/ui/support/window.h"
#include "ui/commands.h"
#include "ui/console_dlg.h"
#include "ui/serial_reader.h"

using namespace uitest;
using Bytes = std::vector<uint8_t>;

namespace pelrin {
namespace {

// A calculator that says what the test tells it to: run from RAM in place of
// the ROM's main loop, interrupts held off, it keeps every byte it receives
// and sends the bytes it is given, repeated as often as asked.
const char* const PeerProgram = R"(
RCS     = #00111
RBR     = #00114
TBR     = #00116
RXP     = #C8000                ; where the next byte received goes, from RX
RX      = #C8010
TXP     = #D0000                ; the next byte to send, up to TXE
TXE     = #D0005
REP     = #D000A                ; how often to send them all again
TX      = #D0010
        ORG     #C0000
peer:   SETHEX
        P=      0
loop:   D1=(5)  RCS
        C=DAT1.1
        ?CBIT=0.0 GOYES send
        D1=(5)  RBR
        C=DAT1.B                ; reading it takes it
        D1=(5)  RXP
        A=DAT1.A
        D0=A
        DAT0=C.B
        A=A+2.A
        DAT1=A.A
send:   D1=(5)  TXP
        A=DAT1.A
        D1=(5)  TXE
        C=DAT1.A
        ?C>A.A  GOYES next
        D1=(5)  REP
        C=DAT1.A
        ?C=0.A  GOYES idle
        C=C-1.A
        DAT1=C.A
        LC(5)   TX
        D1=(5)  TXP
        DAT1=C.A
idle:   GOTO    loop
next:   D0=A
        C=DAT0.B
        A=A+2.A
        D1=(5)  TXP
        DAT1=A.A
        D1=(5)  TBR
        DAT1=C.B                ; the high nibble sends it
        GOTO    loop
peer_end:
)";

class SerialPeer {
public:
    SerialPeer()
    {
        KVStop();
        for (const saturn::Chunk& chunk : Program.Chunks)
            for (size_t i = 0; i < chunk.Nibbles.size(); ++i)
                Put(chunk.Address + i, chunk.Nibbles[i], 1);
        Put(At("RXP"), At("RX"));
        KVSetRegister(KV_REG_PC, At("peer"));
        KVSetRegister(KV_REG_FLAGS, 0x100); // P 0, hexadecimal, in interrupt service
        Transmit({});
    }
    void Transmit(const Bytes& bytes, uint32_t repeat = 0)
    {
        KVStop();
        for (size_t i = 0; i < bytes.size(); ++i)
            Put(At("TX") + 2 * i, bytes[i], 2);
        Put(At("TXP"), At("TX"));
        Put(At("TXE"), At("TX") + 2 * bytes.size());
        Put(At("REP"), repeat);
        // Stopped on its way to send, it holds the old position in a register.
        if (const uint32_t pc = KVGetRegister(KV_REG_PC); pc >= At("send") && pc < At("peer_end"))
            KVSetRegister(KV_REG_PC, At("loop"));
        KVRun();
    }
    // Every byte received so far, once there are count or the time is up.
    Bytes Received(size_t count = 0, std::chrono::milliseconds limit = 5s)
    {
        Bytes bytes;
        WaitFor([&] {
            KVStop(); // memory is the execution thread's while it runs
            bytes.resize(std::min((Get(At("RXP"), 5) - At("RX")) / 2, 0x4000u));
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<uint8_t>(Get(At("RX") + 2 * i, 2));
            KVRun();
            return bytes.size() >= count;
        }, limit);
        return bytes;
    }

private:
    uint32_t At(const char* symbol) const { return static_cast<uint32_t>(Program.Symbols.at(symbol)); }
    static void Put(size_t address, size_t value, int nibbles = 5)
    {
        for (int i = 0; i < nibbles; ++i)
            KHWriteNibble(static_cast<uint32_t>(address + i), static_cast<uint32_t>(value >> (4 * i)));
    }
    static uint32_t Get(size_t address, int nibbles)
    {
        uint32_t value = 0;
        for (int i = nibbles - 1; i >= 0; --i)
            value = value << 4 | KHReadNibble(static_cast<uint32_t>(address + i));
        return value;
    }
    const saturn::Assembly Program = saturn::Assemble(PeerProgram);
};

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
    const auto startKermit = [&] {
        const size_t count = Peer.Received().size() + init.size();
        Window->OnCommand(CmdLoadWithKermit, 0);
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

TEST_F(PeerConsole, BurstsOf100000BytesShowWithinTwoSecondsWhileTheWindowStaysResponsive)
{
    // 1000 times 99 characters and the byte ending them, in lines or as one
    // line; the event loop, ticking every 10 ms, is never held for long.
    for (const auto& [end, figure] : {std::pair{'\n', "in_lines"}, {'-', "one_line"}}) {
        Bytes line(100, end);
        for (int i = 0; i < 99; ++i)
            line[i] = static_cast<uint8_t>('!' + i % 90);
        Dialog->ReceivedText->clear();
        const QTextDocument* text = Dialog->ReceivedText->document();
        QElapsedTimer clock, sinceTick;
        qint64 longestGap = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        clock.start();
        Peer.Transmit(line, 999);
        sinceTick.start();
        ticker.start(10);
        // Each byte is one character; the text ends with its last paragraph's end.
        const bool shown = WaitFor([&] { return text->characterCount() >= 100000 + 1; }, 30s);
        const qint64 took = clock.elapsed();
        std::printf("FIGURE console_burst_100000_bytes_%s_ms=%lld longest_event_loop_gap_ms=%lld\n", figure,
                    static_cast<long long>(took), static_cast<long long>(longestGap));
        ASSERT_TRUE(shown) << text->characterCount() << " characters";
        EXPECT_EQ(text->characterCount(), 100000 + 1);
        EXPECT_EQ(Dialog->ReceivedText->toPlainText().right(100).toStdString(), std::string(line.begin(), line.end()));
        EXPECT_LE(took, PELRIN_INSTRUMENTED ? 10000 : 2000);
        EXPECT_LE(longestGap, PELRIN_INSTRUMENTED ? 1000 : 250);
    }
}

} // namespace
} // namespace pelrin
