// The annunciator refresh: each of the six places shows its sprite or the
// bare face, by its bit of the register.
#include <QImage>
#include <gtest/gtest.h>

#include "ui/annunciators.h"

namespace pelrin {
namespace {

// A skin whose face is one colour and whose sprite i is a colour of its own.
QImage MarkedSkin()
{
    QImage skin(347, 751, QImage::Format_RGB32);
    skin.fill(qRgb(20, 30, 40));
    for (int i = 0; i < 6; ++i) {
        for (int y = 740; y < 751; ++y)
            for (int x = 16 * i; x < 16 * i + 16; ++x)
                skin.setPixel(x, y, qRgb(100 + i, 200, 50 + x - 16 * i));
    }
    return skin;
}

// What the window showed before the refresh: neither face nor sprite.
QImage Stale()
{
    QImage target(347, 740, QImage::Format_RGB32);
    target.fill(qRgb(255, 0, 255));
    return target;
}

// Whether place i of target shows sprite i (true) or the face (false); a
// place that is neither fails the test.
bool ShowsSprite(const QImage& target, int i)
{
    const int left = 60 + 51 * i;
    bool sprite = true;
    bool face = true;
    for (int y = 60; y < 71; ++y) {
        for (int x = left; x < left + 16; ++x) {
            sprite = sprite && target.pixel(x, y) == qRgb(100 + i, 200, 50 + x - left);
            face = face && target.pixel(x, y) == qRgb(20, 30, 40);
        }
    }
    EXPECT_TRUE(sprite != face) << "place " << i;
    return sprite;
}

int PixelsOutsideThePlaces(const QImage& target, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < target.height(); ++y) {
        for (int x = 0; x < target.width(); ++x) {
            const bool inPlace = y >= 60 && y < 71 && x >= 60 && (x - 60) % 51 < 16 && (x - 60) / 51 < 6;
            if (!inPlace && target.pixel(x, y) == colour)
                ++count;
        }
    }
    return count;
}

TEST(Annunciators, AllSixBitsShowAllSixSprites)
{
    QImage target = Stale();
    RefreshAnnunciators(target, MarkedSkin(), 0x3F);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(ShowsSprite(target, i)) << i;
    // Nothing else of the window changes.
    EXPECT_EQ(PixelsOutsideThePlaces(target, qRgb(255, 0, 255)), 347 * 740 - 6 * 16 * 11);
}

TEST(Annunciators, TheTwoUnusedBitsShowTheBareFaceEverywhere)
{
    QImage target = Stale();
    RefreshAnnunciators(target, MarkedSkin(), 0xC0);
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(ShowsSprite(target, i)) << i;
}

TEST(Annunciators, EachPlaceFollowsItsOwnBitOnEveryRefresh)
{
    const QImage skin = MarkedSkin();
    QImage target = Stale();
    RefreshAnnunciators(target, skin, 0x25); // bits 0, 2, 5
    const bool first[6] = {true, false, true, false, false, true};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(ShowsSprite(target, i), first[i]) << i;
    RefreshAnnunciators(target, skin, 0x1A); // bits 1, 3, 4
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(ShowsSprite(target, i), !first[i]) << i;
}

TEST(Annunciators, PlacesAndSpritesAreWhereTheFaceHasThem)
{
    EXPECT_EQ(AnnunciatorPlace(0), QRect(60, 60, 16, 11));
    EXPECT_EQ(AnnunciatorPlace(5), QRect(315, 60, 16, 11));
    EXPECT_EQ(AnnunciatorSprite(0), QRect(0, 740, 16, 11));
    EXPECT_EQ(AnnunciatorSprite(5), QRect(80, 740, 16, 11));
}

} // namespace
} // namespace pelrin
