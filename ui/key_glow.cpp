#include "ui/key_glow.h"

#include <algorithm>
#include <cmath>

namespace pelrin {

void BrightenPixel(QImage& image, int x, int y, int amount)
{
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return;
    const int add = amount / 2;
    const QRgb pixel = image.pixel(x, y);
    const int red = std::clamp(qRed(pixel) + add, 0, 255);
    const int green = std::clamp(qGreen(pixel) + add, 0, 255);
    const int blue = std::clamp(qBlue(pixel) + add, 0, 255);
    image.setPixel(x, y, qRgb(red, green, blue));
}

void DrawGlowSpan(QImage& image, int cx, int y0, int dx, int n, int r)
{
    const int count = n >= 0 ? n : -n;
    const int step = n >= 0 ? 1 : -1;
    for (int k = 0; k <= count; ++k) {
        const double d = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(k) * k);
        const int amount = 256 - static_cast<int>(d * 256.0 / (r + 1));
        BrightenPixel(image, cx + dx, y0 + step * k, amount);
    }
}

void DrawKeyGlow(QImage& image, int cx, int cy, int r)
{
    const int turn = static_cast<int>(r * 0.707106781188095 + 0.5);
    DrawGlowSpan(image, cx, cy, 0, r, r);
    DrawGlowSpan(image, cx, cy - 1, 0, -r, r);
    if (r <= 0)
        return;
    int x = 0;
    int y = r;
    int f = 1 - r;
    do {
        if (f < 0) {
            f += 2 * x + 3;
            ++x;
        } else {
            f += 2 * (x - y) + 5;
            --y;
            ++x;
            // While y is still above the diagonal, the columns at +-y get
            // their spans too: they are the disc's flanks, which the walk's
            // own columns (at +-x) never reach.
            if (y > turn) {
                DrawGlowSpan(image, cx, cy, y, x, r);
                DrawGlowSpan(image, cx, cy, -y, x, r);
                DrawGlowSpan(image, cx, cy - 1, y, -x, r);
                DrawGlowSpan(image, cx, cy - 1, -y, -x, r);
            }
        }
        DrawGlowSpan(image, cx, cy, x, y, r);
        DrawGlowSpan(image, cx, cy, -x, y, r);
        DrawGlowSpan(image, cx, cy - 1, x, -y, r);
        DrawGlowSpan(image, cx, cy - 1, -x, -y, r);
    } while (y > x);
}

} // namespace pelrin
