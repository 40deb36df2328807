// The skin window on the real libraries: its shape, the face and the live
// LCD in its picture, dragging with the snap to the screen's edges, and
// closing while the engine runs on.
#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>
#include <cstdio>
#include <set>

#include "korvane.h"
#include "tessock.h"
#include "tests/ui/support/open_window.h"

using namespace std::chrono_literals;

namespace pelrin {
namespace {

const QRect LcdArea(42, 77, 262, 128);

// How many grey levels the LCD area of the picture shows: a blank LCD
// window is one colour, a drawn screen several.
size_t LcdLevels(const QImage& picture)
{
    std::set<QRgb> levels;
    for (int y = LcdArea.top(); y <= LcdArea.bottom(); ++y)
        for (int x = LcdArea.left(); x <= LcdArea.right(); ++x)
            levels.insert(picture.pixel(x, y));
    return levels.size();
}

TEST(SkinWindow, AFramelessWindowOf347By740AtTheOriginWithItsTitle)
{
    uitest::OpenWindow window;
    ASSERT_TRUE(window.ready());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), QRect(0, 0, 347, 740));
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Korvane User Interface"));
    EXPECT_TRUE(window->acceptDrops());
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}

TEST(SkinWindow, ThePictureIsTheFaceWithTheLiveLcdOverIt)
{
    uitest::OpenWindow window;
    ASSERT_TRUE(window.ready());
    // Below the display, the face one to one.
    EXPECT_TRUE(window.ShowsFace(QRect(0, 215, 347, 525)));
    // The ROM's screen arrives within the start-up's budget, at scale 2:
    // every LCD pixel is a 2 by 2 block.
    ASSERT_TRUE(uitest::WaitFor([&] { return LcdLevels(window->Backing) > 1; }, 5s));
    for (int y = LcdArea.top(); y <= LcdArea.bottom(); y += 2)
        for (int x = LcdArea.left(); x <= LcdArea.right(); x += 2) {
            const QRgb p = window->Backing.pixel(x, y);
            ASSERT_EQ(window->Backing.pixel(x + 1, y), p);
            ASSERT_EQ(window->Backing.pixel(x, y + 1), p);
            ASSERT_EQ(window->Backing.pixel(x + 1, y + 1), p);
            ASSERT_EQ(qRed(p), qGreen(p)); // grey levels
            ASSERT_EQ(qGreen(p), qBlue(p));
        }
    // The LCD and the face meet exactly at the LCD window's edge.
    EXPECT_TRUE(window.ShowsFace(QRect(38, 73, 4, 136)));
    EXPECT_TRUE(window.ShowsFace(QRect(304, 73, 4, 136)));
}

TEST(SkinWindow, ARepaintKeepsTheLcdOverTheFace)
{
    uitest::OpenWindow window;
    ASSERT_TRUE(window.ready());
    ASSERT_TRUE(uitest::WaitFor([&] { return LcdLevels(window->Backing) > 1; }, 5s));
    window->InvalidateRect(QRect(0, 0, 347, 740));
    window->OnPaint();
    EXPECT_GT(LcdLevels(window->Backing), 1u);
}

TEST(SkinWindow, TheDisplayRunsAtTheEnginesFrameRate)
{
    uitest::OpenWindow window;
    ASSERT_TRUE(window.ready());
    uitest::Pump(2500ms);
    std::printf("FIGURE fps rendered=%u displayed=%u\n", KHGetRenderedFPS(), KHGetDisplayedFPS());
    // 8192 ticks a second, a line every second tick, 64 lines a frame.
    EXPECT_NEAR(static_cast<double>(KHGetRenderedFPS()), 64.0, 6.0);
    EXPECT_NEAR(static_cast<double>(KHGetDisplayedFPS()), 64.0, 6.0);
}

TEST(SkinWindow, ARightDragMovesTheWindowAndTheEdgeSnapsIt)
{
    uitest::OpenWindow window;
    ASSERT_TRUE(window.ready());
    uitest::KeyLog log;
    // Grabbed on a key: a drag presses no key.
    window->OnRButtonDown(QPoint(114, 560));
    window->OnMouseMove(QPoint(115, 561)); // 1 pixel: still a click
    EXPECT_FALSE(window->Dragging);
    window->OnMouseMove(QPoint(116, 560)); // 2 pixels: a drag
    EXPECT_TRUE(window->Dragging);
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    window->OnMouseMove(QPoint(124, 660));
    EXPECT_EQ(window->pos(), QPoint(10, 100));
    window->OnRButtonUp(QPoint(114, 560));
    EXPECT_FALSE(window->Dragging);
    EXPECT_FALSE(window->DragArmed);
    EXPECT_EQ(window->pos(), QPoint(0, 100)); // 10 from the left edge: pulled onto it
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(KVIsKeyPressed(3, 3), 0u);

    // 16 pixels away stays.
    window->OnRButtonDown(QPoint(173, 250));
    window->OnMouseMove(QPoint(189, 250));
    window->OnMouseMove(QPoint(189, 250));
    window->OnRButtonUp(QPoint(189, 250));
    EXPECT_EQ(window->pos(), QPoint(16, 100));
}

TEST(SkinWindow, TheBottomAndRightEdgesOfTheScreenPullToo)
{
    uitest::OpenWindow window;
    ASSERT_TRUE(window.ready());
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    window->move(screen.width() - 347 - 20, screen.height() - 740 + 12);
    window->OnLButtonDown(QPoint(173, 250)); // no key there: a left drag
    window->OnMouseMove(QPoint(183, 250));
    window->OnMouseMove(QPoint(183, 250));
    window->OnLButtonUp(QPoint(183, 250));
    // Right edge 10 short of the screen's, bottom 12 beyond: both pulled.
    EXPECT_EQ(window->pos(), QPoint(screen.width() - 347, screen.height() - 740));
}

TEST(SkinWindow, ALeftPressOnAKeyNeverStartsADrag)
{
    uitest::OpenWindow window;
    ASSERT_TRUE(window.ready());
    window->OnLButtonDown(QPoint(114, 560));
    window->OnMouseMove(QPoint(150, 600));
    EXPECT_FALSE(window->DragArmed);
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    window->OnLButtonUp(QPoint(150, 600));
}

TEST(SkinWindow, ClosingDetachesTheDisplayAndLeavesTheEngineRunning)
{
    auto window = std::make_unique<uitest::OpenWindow>();
    ASSERT_TRUE(window->ready());
    ASSERT_TRUE(uitest::WaitFor([] { return KHGetDisplayedFPS() > 0; }, 5s));
    (*window)->close();
    EXPECT_FALSE((*window)->isVisible());
    EXPECT_FALSE((*window)->Timer.isActive());
    // The window goes while the engine and the render thread go on.
    window.reset();
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_TRUE(uitest::WaitFor([] { return KHGetDisplayedFPS() == 0; }, 5s));
}

} // namespace
} // namespace pelrin
