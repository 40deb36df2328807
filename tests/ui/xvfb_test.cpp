// The program as a person meets it: build/pelrin in a directory of its own,
// on a real X server (Xvfb), driven by xdotool and looked at through
// screenshots. A missing Xvfb or xdotool fails these tests; it never skips
// them.
#include <QGuiApplication>
#include <QThread>
#include <QElapsedTimer>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>

#include "tests/rom/screen.h"
#include "tests/ui/support/x_server.h"

using uitest::Program;
using uitest::Xdotool;

namespace {

uitest::XServer* Server = nullptr;

// How long to wait for what should come at once: long enough for a loaded
// machine, and never waited out by a passing test.
constexpr qint64 WaitLimitMs = 10000;

class Window : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(uitest::FindOnPath("xdotool").empty()) << "xdotool is not installed (tools/install-deps.sh)";
        ASSERT_TRUE(Server && Server->Running()) << (Server ? Server->Error() : "no X server");
        Pelrin = std::make_unique<Program>();
        ASSERT_TRUE(Pelrin->Started());
        ASSERT_FALSE(Pelrin->WaitForWindow(WaitLimitMs).isEmpty()) << Pelrin->Output().toStdString();
    }

    void TearDown() override
    {
        // What the program said and what the screen showed, when something
        // went wrong.
        if (!HasFailure() || !Pelrin)
            return;
        std::fprintf(stderr, "pelrin's output:\n%s\n", Pelrin->Output().toLocal8Bit().constData());
        const std::string name = std::string("xvfb-failure-") +
                                 testing::UnitTest::GetInstance()->current_test_info()->name() + ".png";
        if (uitest::Screenshot(0, 0, 1024, 768).save(QString::fromStdString(name)))
            std::fprintf(stderr, "screen saved as %s\n", name.c_str());
    }

    bool Run(const QStringList& arguments) { return Xdotool(arguments).has_value(); }
    void Pause(int ms) { QThread::msleep(ms); }
    uitest::Geometry Where() { return Pelrin->WindowGeometry().value_or(uitest::Geometry{-1, -1, -1, -1}); }
    // Waits until the window stands at (x, y).
    bool WaitForPlace(int x, int y)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < WaitLimitMs) {
            const uitest::Geometry g = Where();
            if (g.x == x && g.y == y)
                return true;
            Pause(20);
        }
        return false;
    }
    // The number of visible top-level windows of the program.
    int VisibleWindows()
    {
        const auto found = Xdotool({"search", "--onlyvisible", "--classname", "pelrin"});
        return found && !found->isEmpty() ? static_cast<int>(found->split('\n').size()) : 0;
    }

    std::unique_ptr<Program> Pelrin;
};

TEST_F(Window, IsFramelessAt347By740AtTheOriginWithItsTitle)
{
    const uitest::Geometry g = Where();
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 0);
    EXPECT_EQ(g.width, 347);
    EXPECT_EQ(g.height, 740);
    EXPECT_EQ(Xdotool({"getwindowname", Pelrin->Window}).value_or(""), QStringLiteral("Korvane User Interface"));
    // The hint that asks a window manager for no decorations at all.
    // Its fields: flags, functions, decorations, input mode, status.
    QProcess xprop;
    xprop.start("xprop", {"-id", Pelrin->Window, "_MOTIF_WM_HINTS"});
    ASSERT_TRUE(xprop.waitForFinished(5000));
    const QString output = QString::fromLocal8Bit(xprop.readAllStandardOutput()).trimmed();
    const QStringList fields = output.section('=', 1).split(',');
    ASSERT_EQ(fields.size(), 5) << output.toStdString();
    EXPECT_TRUE(fields[0].trimmed().toUInt(nullptr, 16) & 2) << output.toStdString(); // decorations given
    EXPECT_EQ(fields[2].trimmed().toUInt(nullptr, 16), 0u) << output.toStdString();   // and none
}

// The LCD as the screen shows it: each of the 131 x 64 dots a 2 x 2 block
// at (42, 77). Null when the blocks are not whole, or not grey.
std::optional<std::vector<bool>> LcdDots()
{
    const QImage lcd = uitest::Screenshot(42, 77, 262, 128);
    if (lcd.size() != QSize(262, 128))
        return std::nullopt;
    std::vector<bool> dark(131 * 64);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 131; ++x) {
            const QRgb p = lcd.pixel(2 * x, 2 * y);
            if (lcd.pixel(2 * x + 1, 2 * y) != p || lcd.pixel(2 * x, 2 * y + 1) != p ||
                lcd.pixel(2 * x + 1, 2 * y + 1) != p || qRed(p) != qGreen(p) || qGreen(p) != qBlue(p))
                return std::nullopt;
            dark[y * 131 + x] = qGray(p) < 128;
        }
    }
    return dark;
}

test::DotReader Reader(const std::vector<bool>& dots)
{
    return [&dots](unsigned x, unsigned y) { return x < 131 && y < 64 && dots[y * 131 + x]; };
}

constexpr unsigned KeyLine = 5;

// Text line n of the LCD on the screen, trailing blanks dropped.
std::string ScreenLine(unsigned n)
{
    const auto dots = LcdDots();
    if (!dots)
        return "(no whole LCD on the screen)";
    std::string text = test::ReadTextLine(Reader(*dots), n);
    return text.erase(text.find_last_not_of(' ') + 1);
}

bool WaitForLine(unsigned n, const std::string& text)
{
    QElapsedTimer clock;
    clock.start();
    while (ScreenLine(n) != text && clock.elapsed() < WaitLimitMs)
        QThread::msleep(10);
    return ScreenLine(n) == text;
}

// Whether annunciator 0's place shows its sprite (true) or the bare face.
std::optional<bool> FirstAnnunciator()
{
    static const QImage skin = QImage(QStringLiteral(PELRIN_SKIN_PATH)).convertToFormat(QImage::Format_RGB32);
    const QImage shown = uitest::Screenshot(60, 60, 16, 11);
    if (shown == skin.copy(0, 740, 16, 11))
        return true;
    if (shown == skin.copy(60, 60, 16, 11))
        return false;
    return std::nullopt;
}

bool WaitForAnnunciator(bool on)
{
    QElapsedTimer clock;
    clock.start();
    while (FirstAnnunciator() != on && clock.elapsed() < WaitLimitMs)
        QThread::msleep(10);
    return FirstAnnunciator() == on;
}

TEST(Start, TheRomsTitleIsOnTheScreenWithinASecondAndAHalf)
{
    ASSERT_FALSE(uitest::FindOnPath("xdotool").empty()) << "xdotool is not installed (tools/install-deps.sh)";
    ASSERT_TRUE(Server && Server->Running()) << (Server ? Server->Error() : "no X server");
    Program pelrin;
    ASSERT_TRUE(pelrin.Started());
    // The three title lines, every dot against the font, at scale 2.
    const auto title = [] {
        const auto dots = LcdDots();
        if (!dots)
            return false;
        const test::DotReader dark = Reader(*dots);
        return test::ShowsCentredText(dark, 0, "BUILT-IN DEMONSTRATION ROM") &&
               test::ShowsCentredText(dark, 1, "PUT YOUR OWN ROM.E49 IN THE") &&
               test::ShowsCentredText(dark, 2, "WORKING DIRECTORY TO RUN IT");
    };
    while (!title() && pelrin.SinceStart() < WaitLimitMs)
        QThread::msleep(5);
    const qint64 shown = pelrin.SinceStart();
    std::printf("FIGURE start_to_first_lcd_frame_ms=%lld\n", static_cast<long long>(shown));
    // One second of it is the start-up's wait. The sanitizers' instrumented
    // engine and renderer need longer.
    EXPECT_LE(shown, PELRIN_INSTRUMENTED ? 4000 : 1500);
    EXPECT_EQ(ScreenLine(KeyLine), "KEY    --");
    EXPECT_EQ(FirstAnnunciator(), std::optional<bool>(false));
}

TEST_F(Window, AMouseClickOnAKeyAndAPcKeyShowOnTheLcdWithTheAnnunciator)
{
    ASSERT_TRUE(WaitForLine(KeyLine, "KEY    --"));
    // The "7" key, matrix column 3, row 3.
    ASSERT_TRUE(Run({"mousemove", "114", "560", "mousedown", "1"}));
    EXPECT_TRUE(WaitForLine(KeyLine, "KEY    C3 R3")) << ScreenLine(KeyLine);
    EXPECT_TRUE(WaitForAnnunciator(true));
    ASSERT_TRUE(Run({"mouseup", "1"}));
    EXPECT_TRUE(WaitForLine(KeyLine, "KEY    --")) << ScreenLine(KeyLine);
    EXPECT_TRUE(WaitForAnnunciator(false));

    // The PC's A: matrix column 0, row 5. The pointer stays over the window,
    // which has the keyboard.
    ASSERT_TRUE(Run({"keydown", "a"}));
    EXPECT_TRUE(WaitForLine(KeyLine, "KEY    C0 R5")) << ScreenLine(KeyLine);
    EXPECT_TRUE(WaitForAnnunciator(true));
    ASSERT_TRUE(Run({"keyup", "a"}));
    EXPECT_TRUE(WaitForLine(KeyLine, "KEY    --")) << ScreenLine(KeyLine);
    EXPECT_TRUE(WaitForAnnunciator(false));
}

TEST_F(Window, WhileTheRomSleepsTheWindowUsesLittleProcessorTime)
{
    ASSERT_TRUE(WaitForLine(KeyLine, "KEY    --"));
    QThread::msleep(1000);
    const auto before = Pelrin->ThreadProcessorMilliseconds();
    QElapsedTimer clock;
    clock.start();
    QThread::msleep(3000);
    const auto after = Pelrin->ThreadProcessorMilliseconds();
    const double elapsed = static_cast<double>(clock.elapsed());
    // Each thread's share of one core over those seconds. The busiest
    // thread other than the main one is the engine's execution thread.
    double total = 0;
    double main = 0;
    double busiest = 0;
    for (const auto& [tid, ms] : after) {
        const auto earlier = before.find(tid);
        const double share = (ms - (earlier == before.end() ? 0.0 : earlier->second)) / elapsed;
        total += share;
        if (tid == Pelrin->Pid())
            main = share;
        else
            busiest = std::max(busiest, share);
    }
    std::printf("FIGURE sleeping_rom_cpu_share whole=%.3f gui_thread=%.3f engine_thread=%.3f others=%.3f\n", total,
                main, busiest, total - main - busiest);
    // The window's part: the GUI thread and the threads that serve it (the
    // display's render thread, Qt's own), without the engine's. The
    // sanitizers' instrumentation costs a few times that.
    EXPECT_LT(total - busiest, PELRIN_INSTRUMENTED ? 0.15 : 0.05);
}

TEST_F(Window, ARightClickOutsideTheKeysMapsTheMenu)
{
    EXPECT_EQ(VisibleWindows(), 1);
    ASSERT_TRUE(Run({"mousemove", "173", "250", "click", "3"}));
    QElapsedTimer clock;
    clock.start();
    while (VisibleWindows() < 2 && clock.elapsed() < WaitLimitMs)
        Pause(20);
    EXPECT_EQ(VisibleWindows(), 2);
    ASSERT_TRUE(Run({"key", "Escape"}));
    clock.restart();
    while (VisibleWindows() > 1 && clock.elapsed() < WaitLimitMs)
        Pause(20);
    EXPECT_EQ(VisibleWindows(), 1);
}

TEST_F(Window, ARightDragMovesTheWindowAndTheScreensEdgesPullIt)
{
    // Grabbed at (173, 250), let go 10 right of the left edge and 100 down:
    // the left edge is pulled onto the screen's.
    ASSERT_TRUE(Run({"mousemove", "173", "250", "mousedown", "3"}));
    for (const auto& [x, y] : {std::pair{176, 252}, {180, 300}, {183, 350}})
        ASSERT_TRUE(Run({"mousemove", QString::number(x), QString::number(y)}));
    EXPECT_TRUE(WaitForPlace(10, 100));
    ASSERT_TRUE(Run({"mouseup", "3"}));
    EXPECT_TRUE(WaitForPlace(0, 100)) << Where().x << "," << Where().y;

    // Now towards the bottom right: 20 short of the right edge stays, 10
    // beyond the bottom is pulled back. The screen is 1024 x 768.
    ASSERT_TRUE(Run({"mousemove", "173", "350", "mousedown", "3"}));
    for (const auto& [x, y] : {std::pair{180, 345}, {500, 300}, {830, 288}})
        ASSERT_TRUE(Run({"mousemove", QString::number(x), QString::number(y)}));
    EXPECT_TRUE(WaitForPlace(657, 38));
    ASSERT_TRUE(Run({"mouseup", "3"}));
    EXPECT_TRUE(WaitForPlace(657, 28)) << Where().x << "," << Where().y;
}

TEST_F(Window, TheTopRightButtonEndsTheProgram)
{
    ASSERT_TRUE(Run({"mousemove", "339", "8", "click", "1"}));
    ASSERT_TRUE(Pelrin->WaitForExit(WaitLimitMs));
    EXPECT_EQ(Pelrin->ExitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Pelrin->ExitCode(), 0) << Pelrin->Output().toStdString();
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no server.
    std::unique_ptr<uitest::XServer> server;
    if (!testing::GTEST_FLAG(list_tests)) {
        server = std::make_unique<uitest::XServer>();
        Server = server.get();
    }
    if (Server && Server->Running()) {
        setenv("DISPLAY", Server->Display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else {
        setenv("QT_QPA_PLATFORM", "offscreen", 1); // the tests then fail, saying why
    }
    QGuiApplication application(argc, argv);
    const int result = RUN_ALL_TESTS();
    return result;
}
