// Moving the captionless window: the distance that turns a press into a
// drag, where the window goes while it follows the pointer, and the pull of
// the screen's edges when it is let go.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace pelrin {

// A pointer that has moved 2 pixels or more on either axis from where the
// button went down is dragging; less than that on both axes is still a click.
bool DragStarted(QPoint origin, QPoint pointer);

// The window's new top-left corner: the point grabbed at origin (client
// coordinates) stays under the pointer (client coordinates of the window as
// it stands).
QPoint DraggedWindowPosition(QPoint windowTopLeft, QPoint origin, QPoint pointer);

// Where the window goes when a drag ends: an edge closer than 16 pixels to
// the screen's edge, on either side of it, is pulled onto it. When both
// edges of one axis are that close, the axis stays. Returns the window's
// top-left corner, unchanged when nothing pulls.
QPoint SnapToScreenEdges(QRect window, QSize screen);

} // namespace pelrin
