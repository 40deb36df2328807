#include "ui/window_drag.h"

#include <cstdlib>

namespace pelrin {

namespace {

constexpr int SnapDistance = 16;

// -1 pulls the low edge onto 0, +1 the high edge onto extent, 0 leaves it:
// both edges in range cancel out.
int Pull(int low, int high, int extent)
{
    int pull = 0;
    if (-SnapDistance < low && low < SnapDistance)
        pull = -1;
    if (extent - SnapDistance < high && high < extent + SnapDistance)
        pull += 1;
    return pull;
}

int Snapped(int low, int high, int extent)
{
    switch (Pull(low, high, extent)) {
    case -1:
        return 0;
    case 1:
        return low + (extent - high);
    default:
        return low;
    }
}

} // namespace

bool DragStarted(QPoint origin, QPoint pointer)
{
    return std::abs(pointer.x() - origin.x()) >= 2 || std::abs(pointer.y() - origin.y()) >= 2;
}

QPoint DraggedWindowPosition(QPoint windowTopLeft, QPoint origin, QPoint pointer)
{
    return windowTopLeft + pointer - origin;
}

QPoint SnapToScreenEdges(QRect window, QSize screen)
{
    // Edges as the desktop counts them: right and bottom just past the window.
    const int left = window.x();
    const int top = window.y();
    const int right = left + window.width();
    const int bottom = top + window.height();
    return QPoint(Snapped(left, right, screen.width()), Snapped(top, bottom, screen.height()));
}

} // namespace pelrin
