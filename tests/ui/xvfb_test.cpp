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

#include "tests/ui/support/x_server.h"

using uitest::Program;
using uitest::Xdotool;

namespace {

uitest::XServer* Server = nullptr;

class Window : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(uitest::FindOnPath("xdotool").empty()) << "xdotool is not installed (tools/install-deps.sh)";
        ASSERT_TRUE(Server && Server->Running()) << (Server ? Server->Error() : "no X server");
        Pelrin = std::make_unique<Program>();
        ASSERT_TRUE(Pelrin->Started());
        ASSERT_FALSE(Pelrin->WaitForWindow(5000).isEmpty()) << Pelrin->Output().toStdString();
    }

    bool Run(const QStringList& arguments) { return Xdotool(arguments).has_value(); }
    void Pause(int ms) { QThread::msleep(ms); }
    uitest::Geometry Where() { return Pelrin->WindowGeometry().value_or(uitest::Geometry{-1, -1, -1, -1}); }
    // Waits until the window stands at (x, y).
    bool WaitForPlace(int x, int y)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 2000) {
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
    QProcess xprop;
    xprop.start("xprop", {"-id", Pelrin->Window, "_MOTIF_WM_HINTS"});
    ASSERT_TRUE(xprop.waitForFinished(5000));
    const QString hints = QString::fromLocal8Bit(xprop.readAllStandardOutput()).trimmed();
    EXPECT_TRUE(hints.endsWith(QStringLiteral("= 0x2, 0x0, 0x0, 0x0, 0x0"))) << hints.toStdString();
}

TEST_F(Window, ARightClickOutsideTheKeysMapsTheMenu)
{
    EXPECT_EQ(VisibleWindows(), 1);
    ASSERT_TRUE(Run({"mousemove", "173", "250", "click", "3"}));
    QElapsedTimer clock;
    clock.start();
    while (VisibleWindows() < 2 && clock.elapsed() < 2000)
        Pause(20);
    EXPECT_EQ(VisibleWindows(), 2);
    ASSERT_TRUE(Run({"key", "Escape"}));
    clock.restart();
    while (VisibleWindows() > 1 && clock.elapsed() < 2000)
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
    ASSERT_TRUE(Pelrin->WaitForExit(5000));
    EXPECT_EQ(Pelrin->ExitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Pelrin->ExitCode(), 0);
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
