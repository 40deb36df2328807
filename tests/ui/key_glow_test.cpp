// The key glow, pixel by pixel: a disc of brightening that falls off from the
// centre, drawn onto what the window already shows.
#include <QImage>
#include <cmath>
#include <gtest/gtest.h>
#include <set>

#include "ui/key_glow.h"

namespace pelrin {
namespace {

QImage Filled(QRgb colour, int size = 64)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// What one span adds to a pixel at d = sqrt(dx^2 + k^2), worked out apart
// from the drawing code: half of 256 - trunc(d * 256 / (r + 1)).
int SingleGain(int dx, int k, int r)
{
    const double d = std::sqrt(double(dx * dx + k * k));
    return (256 - int(d * 256.0 / (r + 1))) / 2;
}

// Rows below the centre count k from cy, rows above it from cy - 1.
int RowDistance(int y, int cy)
{
    return y >= cy ? y - cy : cy - 1 - y;
}

TEST(KeyGlow, BrightenAddsHalfTheAmountToEachChannelAndClampsAt255)
{
    QImage image = Filled(qRgb(10, 200, 250), 4);
    BrightenPixel(image, 1, 1, 256);
    EXPECT_EQ(image.pixel(1, 1), qRgb(138, 255, 255));
    BrightenPixel(image, 2, 2, 101);
    EXPECT_EQ(image.pixel(2, 2), qRgb(60, 250, 255));
    // Nothing outside the image, and nothing beside the pixel.
    BrightenPixel(image, -1, 0, 256);
    BrightenPixel(image, 4, 0, 256);
    BrightenPixel(image, 0, 4, 256);
    EXPECT_EQ(image.pixel(0, 0), qRgb(10, 200, 250));
    EXPECT_EQ(image.pixel(3, 3), qRgb(10, 200, 250));
}

TEST(KeyGlow, RadiusThreeMatchesTheDiscWorkedOutByHand)
{
    QImage image = Filled(qRgb(0, 0, 0), 16);
    const int cx = 8;
    const int cy = 8;
    DrawKeyGlow(image, cx, cy, 3);
    // Columns cx - 2 to cx + 2, rows cy - 4 to cy + 3.
    const int expected[8][5] = {
        {0, 27, 32, 27, 0},   {37, 56, 64, 56, 37}, {56, 83, 96, 83, 56}, {64, 96, 128, 96, 64},
        {64, 96, 128, 96, 64}, {56, 83, 96, 83, 56}, {37, 56, 64, 56, 37}, {0, 27, 32, 27, 0},
    };
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= cx - 2 && x <= cx + 2 && y >= cy - 4 && y <= cy + 3;
            const int gain = inside ? expected[y - (cy - 4)][x - (cx - 2)] : 0;
            EXPECT_EQ(image.pixel(x, y), qRgb(gain, gain, gain)) << x << "," << y;
        }
    }
}

TEST(KeyGlow, TheTwoCentrePixelsGetTheFullAmount)
{
    for (int r : {7, 12, 13, 14, 15, 16}) {
        QImage image = Filled(qRgb(40, 90, 200));
        DrawKeyGlow(image, 32, 32, r);
        EXPECT_EQ(image.pixel(32, 32), qRgb(168, 218, 255)) << r;
        EXPECT_EQ(image.pixel(32, 31), qRgb(168, 218, 255)) << r;
    }
}

// Which columns (as dx from the centre) hold pixels brightened twice, after
// checking that every pixel got one or two spans' worth and no other value.
std::set<int> ColumnsTouchedTwice(int r)
{
    QImage image = Filled(qRgb(0, 0, 0));
    const int cx = 32;
    const int cy = 32;
    DrawKeyGlow(image, cx, cy, r);
    std::set<int> twice;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int value = qRed(image.pixel(x, y));
            EXPECT_EQ(value, qBlue(image.pixel(x, y)));
            if (value == 0)
                continue;
            const int once = SingleGain(x - cx, RowDistance(y, cy), r);
            EXPECT_TRUE(value == once || value == 2 * once) << r << ": " << x << "," << y << " = " << value;
            if (value == 2 * once)
                twice.insert(x - cx);
        }
    }
    return twice;
}

TEST(KeyGlow, RadiiTwelveAndSixteenBrightenTwoColumnsTwice)
{
    EXPECT_EQ(ColumnsTouchedTwice(12), (std::set<int>{-9, 9}));
    EXPECT_EQ(ColumnsTouchedTwice(16), (std::set<int>{-12, 12}));
}

TEST(KeyGlow, TheOtherRadiiOfTheTableTouchEveryPixelOnce)
{
    for (int r : {7, 13, 14, 15})
        EXPECT_TRUE(ColumnsTouchedTwice(r).empty()) << r;
}

TEST(KeyGlow, TheDiscIsSymmetricAndStaysWithinItsRadius)
{
    for (int r : {7, 12, 13, 14, 15, 16}) {
        QImage image = Filled(qRgb(0, 0, 0));
        DrawKeyGlow(image, 32, 32, r);
        for (int y = 0; y < 64; ++y) {
            for (int x = 1; x < 64; ++x) {
                const QRgb pixel = image.pixel(x, y);
                // Left and right mirror about cx; the upper half mirrors the
                // lower one about the line between rows cy - 1 and cy.
                EXPECT_EQ(pixel, image.pixel(64 - x, y)) << r << ": " << x << "," << y;
                EXPECT_EQ(pixel, image.pixel(x, 63 - y)) << r << ": " << x << "," << y;
                if (std::abs(x - 32) > r || RowDistance(y, 32) > r) {
                    EXPECT_EQ(pixel, qRgb(0, 0, 0)) << r << ": " << x << "," << y;
                }
            }
        }
    }
}

TEST(KeyGlow, ASecondGlowBeforeARepaintBrightensAgain)
{
    QImage image = Filled(qRgb(0, 0, 0));
    DrawKeyGlow(image, 32, 32, 3);
    DrawKeyGlow(image, 32, 32, 3);
    EXPECT_EQ(image.pixel(32, 32), qRgb(255, 255, 255)); // 2 x 128, clamped
    EXPECT_EQ(image.pixel(32, 35), qRgb(64, 64, 64));    // 2 x 32
    EXPECT_EQ(image.pixel(33, 34), qRgb(112, 112, 112)); // 2 x 56
}

TEST(KeyGlow, AGlowAtTheImagesEdgeDrawsOnlyWhatFits)
{
    QImage image = Filled(qRgb(0, 0, 0), 16);
    DrawKeyGlow(image, 0, 0, 7);
    EXPECT_EQ(image.pixel(0, 0), qRgb(128, 128, 128));
    EXPECT_EQ(image.pixel(15, 15), qRgb(0, 0, 0));
}

} // namespace
} // namespace pelrin
