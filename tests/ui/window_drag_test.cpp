// Moving the captionless window: when a press becomes a drag, where the
// window follows, and how the screen's edges pull it when it is let go.
#include <gtest/gtest.h>

#include "ui/window_drag.h"

namespace pelrin {
namespace {

const QSize Screen(1024, 768);

QPoint SnapWindowAt(int left, int top, QSize screen = Screen)
{
    return SnapToScreenEdges(QRect(left, top, 347, 740), screen);
}

TEST(WindowDrag, OnePixelIsAClickAndTwoOnEitherAxisADrag)
{
    const QPoint origin(100, 200);
    EXPECT_FALSE(DragStarted(origin, origin));
    EXPECT_FALSE(DragStarted(origin, QPoint(101, 201)));
    EXPECT_FALSE(DragStarted(origin, QPoint(99, 199)));
    EXPECT_TRUE(DragStarted(origin, QPoint(102, 200)));
    EXPECT_TRUE(DragStarted(origin, QPoint(100, 198)));
    EXPECT_TRUE(DragStarted(origin, QPoint(98, 201)));
}

TEST(WindowDrag, TheGrabbedPointStaysUnderThePointer)
{
    // Grabbed at (10, 20) of a window at (300, 100); the pointer now at
    // client (25, 5): the window moves by (15, -15).
    EXPECT_EQ(DraggedWindowPosition(QPoint(300, 100), QPoint(10, 20), QPoint(25, 5)), QPoint(315, 85));
    EXPECT_EQ(DraggedWindowPosition(QPoint(0, 0), QPoint(10, 20), QPoint(10, 20)), QPoint(0, 0));
}

TEST(WindowDrag, AnEdgeFifteenPixelsFromTheScreensEdgeIsPulledOntoItSixteenStays)
{
    EXPECT_EQ(SnapWindowAt(15, 5), QPoint(0, 0));
    EXPECT_EQ(SnapWindowAt(-15, 5), QPoint(0, 0));
    EXPECT_EQ(SnapWindowAt(16, 100), QPoint(16, 100));
    EXPECT_EQ(SnapWindowAt(-16, -16), QPoint(-16, -16));
    EXPECT_EQ(SnapWindowAt(300, -15), QPoint(300, 0));
    EXPECT_EQ(SnapWindowAt(300, 100), QPoint(300, 100));
}

TEST(WindowDrag, TheRightAndBottomEdgesArePulledOntoTheScreensFarEdges)
{
    // Right edge 10 pixels beyond the screen's: moves left by 10.
    EXPECT_EQ(SnapWindowAt(1024 - 347 + 10, 10), QPoint(1024 - 347, 0));
    // 15 inside, 15 outside, 16 inside.
    EXPECT_EQ(SnapWindowAt(1024 - 347 - 15, 100), QPoint(1024 - 347, 100));
    EXPECT_EQ(SnapWindowAt(1024 - 347 + 15, 100), QPoint(1024 - 347, 100));
    EXPECT_EQ(SnapWindowAt(1024 - 347 - 16, 100), QPoint(1024 - 347 - 16, 100));
    // Bottom: 740 high on a 768 screen, its bottom at 760 is 8 short.
    EXPECT_EQ(SnapWindowAt(300, 20), QPoint(300, 28));
    EXPECT_EQ(SnapWindowAt(300, 43), QPoint(300, 28));
    EXPECT_EQ(SnapWindowAt(300, 44), QPoint(300, 44));
    EXPECT_EQ(SnapWindowAt(300, 13), QPoint(300, 13)); // top and bottom both in range
}

TEST(WindowDrag, BothEdgesOfOneAxisInRangeLeaveThatAxis)
{
    // A screen only 10 pixels wider than the window: both side edges are
    // within range wherever it stands near them.
    const QSize narrow(357, 2000);
    EXPECT_EQ(SnapWindowAt(5, 500, narrow), QPoint(5, 500));
    EXPECT_EQ(SnapWindowAt(-3, 500, narrow), QPoint(-3, 500));
    // The other axis still snaps.
    EXPECT_EQ(SnapWindowAt(5, 10, narrow), QPoint(5, 0));
}

} // namespace
} // namespace pelrin
