// The generated skin: its size and format as the program reads it, the LCD
// window and annunciator places where the program draws, and every key of
// the table drawn in its rectangle.
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include "ui/annunciators.h"
#include "ui/key_table.h"
#include "ui/skin/skin_painter.h"

namespace pelrin {
namespace {

uint32_t Le32(const QByteArray& bytes, int at)
{
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
}

TEST(Skin, TheBuiltFileIsA24BitBmpOf347By751)
{
    QFile file(QStringLiteral(PELRIN_SKIN_PATH));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << PELRIN_SKIN_PATH;
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 54);
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(Le32(bytes, 2), uint32_t(bytes.size()));
    EXPECT_EQ(Le32(bytes, 18), 347u);
    EXPECT_EQ(Le32(bytes, 22), 751u); // positive: rows stored bottom up
    EXPECT_EQ(uint8_t(bytes[28]) | uint8_t(bytes[29]) << 8, 24);
    EXPECT_EQ(Le32(bytes, 30), 0u); // no compression
    // Rows of 347 x 3 bytes padded to 1044.
    EXPECT_EQ(bytes.size(), 54 + 1044 * 751);

    // It reads back as the picture the painter draws.
    const QImage read(QStringLiteral(PELRIN_SKIN_PATH));
    const QImage drawn = DrawSkin().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(read.size(), QSize(347, 751));
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), drawn);
}

TEST(Skin, TheLcdWindowIsOneColourInsideARecessOfOthers)
{
    const QImage skin = DrawSkin();
    for (int y = 77; y < 77 + 128; ++y)
        for (int x = 42; x < 42 + 262; ++x)
            ASSERT_EQ(skin.pixel(x, y), LcdColour().rgb()) << x << "," << y;
    for (int x = 42; x < 42 + 262; x += 13) {
        EXPECT_NE(skin.pixel(x, 76), LcdColour().rgb());
        EXPECT_NE(skin.pixel(x, 205), LcdColour().rgb());
    }
    for (int y = 77; y < 77 + 128; y += 13) {
        EXPECT_NE(skin.pixel(41, y), LcdColour().rgb());
        EXPECT_NE(skin.pixel(304, y), LcdColour().rgb());
    }
}

TEST(Skin, AnnunciatorPlacesAreBareBezelAndEverySpriteHasInkOnIt)
{
    const QImage skin = DrawSkin();
    for (int i = 0; i < AnnunciatorCount; ++i) {
        const QRect place = AnnunciatorPlace(i);
        const QRect sprite = AnnunciatorSprite(i);
        int ink = 0;
        for (int y = 0; y < place.height(); ++y) {
            for (int x = 0; x < place.width(); ++x) {
                EXPECT_EQ(skin.pixel(place.x() + x, place.y() + y), BezelColour().rgb()) << i;
                if (skin.pixel(sprite.x() + x, sprite.y() + y) != BezelColour().rgb())
                    ++ink;
            }
        }
        // A clear mark, not a speck, and not a filled block either.
        EXPECT_GT(ink, 12) << i;
        EXPECT_LT(ink, 16 * 11 * 3 / 4) << i;
    }
}

// How many pixels of the key's rectangle differ from the key's own body
// colour near its middle row's left end: the legend's ink.
int LegendPixels(const QImage& skin, const KeyRect& key)
{
    const QRgb body = skin.pixel(key.left + 4, (key.top + key.bottom) / 2);
    int ink = 0;
    for (int y = key.top + 3; y < key.bottom - 3; ++y)
        for (int x = key.left + 6; x < key.right - 6; ++x)
            if (std::abs(qGray(skin.pixel(x, y)) - qGray(body)) > 60)
                ++ink;
    return ink;
}

TEST(Skin, EveryKeyIsDrawnInItsRectangleWithALegend)
{
    const QImage skin = DrawSkin();
    for (int i = 0; i < KeyTableRows - 1; ++i) {
        const KeyRect& key = KeyTable[i];
        // Just outside the key is the face, unlike the key's body within.
        const QRgb inside = skin.pixel(key.left + 4, (key.top + key.bottom) / 2);
        const QRgb outside = skin.pixel(key.left - 1 < 0 ? key.right : key.left - 1, (key.top + key.bottom) / 2);
        EXPECT_GT(std::abs(qGray(inside) - qGray(outside)) + std::abs(qRed(inside) - qRed(outside)) +
                      std::abs(qBlue(inside) - qBlue(outside)),
                  20)
            << i;
        EXPECT_GT(LegendPixels(skin, key), 5) << i;
    }
}

} // namespace
} // namespace pelrin
