// The glow drawn over a key while it is pressed: a disc whose brightness
// falls off linearly from the centre, added to what the picture already
// shows, so a second glow before a repaint brightens again.
#pragma once

#include <QImage>

namespace pelrin {

// Adds amount / 2 (amount 0 to 256) to red, green and blue, each clamped at
// 255. Points outside the image are left alone.
void BrightenPixel(QImage& image, int x, int y, int amount);

// Brightens the column x = cx + dx from y0 over n + 1 pixels downwards
// (n >= 0) or -n + 1 pixels upwards (n < 0); the k-th pixel lies at
// d = sqrt(dx^2 + k^2) from (cx, y0) and gets 256 - trunc(d * 256 / (r + 1)).
void DrawGlowSpan(QImage& image, int cx, int y0, int dx, int n, int r);

// Fills the disc of radius r around (cx, cy) with vertical spans along a
// midpoint-circle walk: the lower half from row cy down, the upper half from
// row cy - 1 up. Spans overlap in places, and such pixels brighten twice.
void DrawKeyGlow(QImage& image, int cx, int cy, int r);

} // namespace pelrin
