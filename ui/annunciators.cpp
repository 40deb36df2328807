#include "ui/annunciators.h"

#include <QPainter>

namespace pelrin {

QRect AnnunciatorPlace(int i)
{
    return QRect(60 + 51 * i, 60, AnnunciatorWidth, AnnunciatorHeight);
}

QRect AnnunciatorSprite(int i)
{
    return QRect(AnnunciatorWidth * i, SpriteRowY, AnnunciatorWidth, AnnunciatorHeight);
}

void RefreshAnnunciators(QImage& target, const QImage& skin, uint8_t bits)
{
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (int i = 0; i < AnnunciatorCount; ++i) {
        const QRect place = AnnunciatorPlace(i);
        const QRect source = (bits >> i) & 1 ? AnnunciatorSprite(i) : place;
        painter.drawImage(place.topLeft(), skin, source);
    }
}

QRect AnnunciatorRow::Refresh(QImage& target, const QImage& skin, uint8_t bits)
{
    const int shown = bits & ((1 << AnnunciatorCount) - 1);
    if (shown == Shown)
        return QRect();
    Shown = shown;
    RefreshAnnunciators(target, skin, bits);
    return Area();
}

} // namespace pelrin
