// The six annunciators above the display, copied from sprites that the skin
// keeps in a row below the face.
#pragma once

#include <QImage>
#include <QRect>
#include <cstdint>

namespace pelrin {

constexpr int AnnunciatorCount = 6;
constexpr int AnnunciatorWidth = 16;
constexpr int AnnunciatorHeight = 11;
constexpr int SpriteRowY = 740;

// Where annunciator i (0 to 5) shows on the face: (60 + 51 i, 60).
QRect AnnunciatorPlace(int i);
// Where its sprite lies in the skin: (16 i, 740).
QRect AnnunciatorSprite(int i);

// Draws all six places into target from skin: the sprite where bit i of
// bits is set, the bare face where it is clear. Bits 6 and 7 mean nothing.
void RefreshAnnunciators(QImage& target, const QImage& skin, uint8_t bits);

// The row as the window shows it. The register is polled ten times a
// second; a row that shows its bits already is left alone, so that an idle
// window asks nothing of the X server.
class AnnunciatorRow {
public:
    // Draws the six places as RefreshAnnunciators does when bits 0 to 5
    // differ from those drawn last, or nothing is known to be shown; the
    // area drawn, empty when nothing was.
    QRect Refresh(QImage& target, const QImage& skin, uint8_t bits);
    // The face was painted over the row: the next refresh draws it.
    void Forget() { Shown = -1; }
    static QRect Area() { return AnnunciatorPlace(0).united(AnnunciatorPlace(AnnunciatorCount - 1)); }

private:
    int Shown = -1;
};

} // namespace pelrin
