// What the program's window makes of the serial link and the transfers: the
// skin window itself (offscreen) on the real libraries, running the
// demonstration ROM, or a small Saturn program as the link's far end.
//
//   1. closing the window in the middle of a transfer: with the engine
//      stopped inside an XModem block, with the calculator reset during one
//      (the reset ROM echoes every byte it receives) and with the engine
//      stopped while the Kermit Send-Init waits for it;
//   2. "Load with Kermit" chosen with the engine stopped, then the menu key
//      0.5 s later: how long until the menu opens;
//   3. 100,000 bytes that the calculator sends as fast as its transmitter
//      takes them: how many reach the console, how long they take, and the
//      event loop's longest pause meanwhile.
//
// Each figure is printed as a line of the table and as a BENCH line. The
// figures are what a person sees, so they count the host's load too: run it
// on a quiet machine, or alternately with another build for a comparison.
#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "korvane.h"
#include "tests/rom/screen.h"
#include "tests/ui/support/serial_peer.h"
#include "tests/ui/support/window.h"
#include "ui/commands.h"
#include "ui/console_dlg.h"

namespace {

using namespace std::chrono_literals;
using uitest::OpenWindow;
using uitest::WaitFor;

void Print(const char* label, const char* key, double value, const char* unit)
{
    std::printf("%-46s %12.1f %s\n", label, value, unit);
    std::printf("BENCH %s=%.1f\n", key, value);
    std::fflush(stdout);
}

// A file of the largest size the commands take, chosen by the next dialog.
void ChooseLargestFile(const OpenWindow& window)
{
    QFile file(window.Path("object"));
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(131072, 0x55));
    file.close();
    uitest::AnswerFileDialogWith(file.fileName());
}

enum class State { StoppedMidXModem, ResetMidXModem, StoppedMidKermit };

// Milliseconds from the close request until the window has closed.
double CloseTime(State state)
{
    OpenWindow window;
    if (!window.ready())
        return -1;
    ChooseLargestFile(window);
    if (state == State::StoppedMidKermit) {
        KVStop();
        window->OnCommand(pelrin::CmdLoadWithKermit, 0);
    } else {
        window.WaitForLcdLine(test::XModemLine, "XMODEM PRESS X TO RECEIVE");
        window->OnCommand(pelrin::CmdLoadWithXModem, 0);
        KVPressKey(4, 2);
        window.WaitForLcdLine(test::XModemLine, "XMODEM RECEIVING...");
        KVReleaseKey(4, 2);
        uitest::Pump(300ms); // blocks are going out
        if (state == State::StoppedMidXModem) {
            KVStop();
        } else {
            // A person notices the echo and closes the window two seconds later.
            window->OnCommand(pelrin::CmdReset, 0);
            window.WaitForLcdLine(test::XModemLine, "XMODEM PRESS X TO RECEIVE");
            uitest::Pump(2s);
        }
    }
    QElapsedTimer clock;
    clock.start();
    window->close();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// Milliseconds from the menu key, pressed 0.5 s after "Load with Kermit"
// with the engine stopped, until the menu shows.
double MenuLatency()
{
    OpenWindow window;
    if (!window.ready())
        return -1;
    ChooseLargestFile(window);
    KVStop();
    QElapsedTimer clock;
    qint64 shown = -1;
    QObject::connect(window->PopupMenu, &QMenu::aboutToShow, [&] {
        shown = clock.elapsed();
        QTimer::singleShot(0, window->PopupMenu, &QMenu::close);
    });
    clock.start();
    // Pressed at 0.5 s, the key waits in the queue until the window gets to it.
    QTimer::singleShot(500, &*window, [&] {
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(100, 100), window->mapToGlobal(QPoint(100, 100)));
        QApplication::sendEvent(&*window, &key);
    });
    window->OnCommand(pelrin::CmdLoadWithKermit, 0);
    WaitFor([&] { return shown >= 0; }, 120s);
    return shown >= 0 ? static_cast<double>(shown - 500) : -1;
}

struct Burst {
    double Lost = 0, Milliseconds = 0, LongestGap = 0;
};

// 1000 lines of 99 characters and a line end.
Burst ConsoleBurst()
{
    OpenWindow window;
    Burst burst;
    if (!window.ready())
        return {-1, -1, -1};
    window->OnCommand(pelrin::CmdConsole, 0);
    pelrin::CConsoleDlg* console = window->Console;
    window.WaitForLcdLine(test::SerialLine, "SERIAL --");
    uitest::SerialPeer peer;
    uitest::SerialPeer::Bytes line(100, '\n');
    for (int i = 0; i < 99; ++i)
        line[i] = static_cast<uint8_t>('!' + i % 90);
    console->FlushReceivedText();
    const int before = console->ReceivedText->document()->characterCount();
    const auto shown = [&] { return console->ReceivedText->document()->characterCount() - before; };
    QElapsedTimer clock, sinceTick, sinceGrowth;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    clock.start();
    peer.Transmit(line, 999);
    sinceTick.start();
    sinceGrowth.start();
    ticker.start(10);
    // Until every byte is there, or nothing more has come for 3 s.
    int last = 0;
    WaitFor([&] {
        if (shown() != last)
            last = shown(), sinceGrowth.restart();
        return last >= 100000 || sinceGrowth.elapsed() > 3000;
    }, 300s);
    console->FlushReceivedText();
    burst.Lost = 100000 - shown();
    burst.Milliseconds = static_cast<double>(clock.elapsed() - (shown() < 100000 ? sinceGrowth.elapsed() : 0));
    burst.LongestGap = static_cast<double>(longestGap);
    return burst;
}

} // namespace

int main(int argc, char** argv)
{
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::printf("usage: %s [--only close|menu|burst]\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (only.empty() || only == "close") {
        Print("close, engine stopped mid-XModem", "close_stopped_mid_xmodem_ms", CloseTime(State::StoppedMidXModem),
              "ms");
        Print("close, calculator reset mid-XModem (echoing)", "close_reset_mid_xmodem_ms",
              CloseTime(State::ResetMidXModem), "ms");
        Print("close, engine stopped mid-Kermit", "close_stopped_mid_kermit_ms", CloseTime(State::StoppedMidKermit),
              "ms");
    }
    if (only.empty() || only == "menu")
        Print("menu 0.5 s into a Kermit send, engine stopped", "menu_latency_kermit_stopped_ms", MenuLatency(), "ms");
    if (only.empty() || only == "burst") {
        const Burst burst = ConsoleBurst();
        Print("console burst of 100000 bytes: lost", "burst_100000_lost_bytes", burst.Lost, "bytes");
        Print("console burst of 100000 bytes: shown after", "burst_100000_ms", burst.Milliseconds, "ms");
        Print("console burst: longest event loop pause", "burst_longest_event_loop_gap_ms", burst.LongestGap, "ms");
    }
    return 0;
}
