#include "ui/skin/skin_painter.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "ui/annunciators.h"
#include "ui/key_table.h"

namespace pelrin {

namespace {

constexpr int FaceWidth = 347;
constexpr int FaceHeight = 740;
const QRect LcdWindow(42, 77, 262, 128);
const QRect Bezel(30, 50, 308, 168);

struct KeyLook {
    QColor body;
    QColor text;
};

const KeyLook DarkKey{QColor(0x3b, 0x41, 0x4a), Qt::white};
const KeyLook LightKey{QColor(0xdc, 0xe0, 0xe5), QColor(0x1c, 0x20, 0x26)};
const KeyLook MenuKey{QColor(0xf2, 0xf2, 0xee), QColor(0x1c, 0x20, 0x26)};
const KeyLook LeftShiftKey{QColor(0xc9, 0x4f, 0x6d), Qt::white};
const KeyLook RightShiftKey{QColor(0x3f, 0x9a, 0x6a), Qt::white};
const KeyLook AlphaKey{QColor(0xe0, 0xb8, 0x3c), QColor(0x1c, 0x20, 0x26)};

struct Legend {
    const char* text;
    const KeyLook* look;
};

// The legend of each row of the key table, in the HP 49G's layout.
Legend LegendOf(int row)
{
    static const Legend legends[] = {
        {"\u00d7", &DarkKey},      {"\u2013", &DarkKey},                                          // window buttons
        {"F1", &MenuKey},          {"F2", &MenuKey},       {"F3", &MenuKey},  {"F4", &MenuKey},   // 2-5
        {"F5", &MenuKey},          {"F6", &MenuKey},                                              // 6-7
        {"APPS", &DarkKey},        {"MODE", &DarkKey},     {"TOOL", &DarkKey},                    // 8-10
        {"VAR", &DarkKey},         {"STO", &DarkKey},      {"NXT", &DarkKey},                     // 11-13
        {"\u25b2", &DarkKey},      {"\u25bc", &DarkKey},   {"\u25c0", &DarkKey}, {"\u25b6", &DarkKey}, // 14-17
        {"HIST", &DarkKey},        {"CAT", &DarkKey},      {"EQW", &DarkKey}, {"SYMB", &DarkKey}, // 18-21
        {"\u21d0", &DarkKey},                                                                     // 22
        {"y\u02e3", &DarkKey},     {"\u221ax", &DarkKey},  {"SIN", &DarkKey}, {"COS", &DarkKey},  // 23-26
        {"TAN", &DarkKey},                                                                        // 27
        {"EEX", &DarkKey},         {"+/\u2212", &DarkKey}, {"X", &DarkKey},   {"1/x", &DarkKey},  // 28-31
        {"\u00f7", &DarkKey},                                                                     // 32
        {"\u03b1", &AlphaKey},     {"7", &LightKey},       {"8", &LightKey},  {"9", &LightKey},   // 33-36
        {"\u00d7", &LightKey},                                                                    // 37
        {"\u21b0", &LeftShiftKey}, {"4", &LightKey},       {"5", &LightKey},  {"6", &LightKey},   // 38-41
        {"\u2212", &LightKey},                                                                    // 42
        {"\u21b1", &RightShiftKey}, {"1", &LightKey},      {"2", &LightKey},  {"3", &LightKey},   // 43-46
        {"+", &LightKey},                                                                         // 47
        {"ON", &DarkKey},          {"0", &LightKey},       {".", &LightKey},  {".", &LightKey},   // 48-51
        {"SPC", &LightKey},        {"ENTER", &DarkKey},                                           // 52-53
    };
    static_assert(std::size(legends) == KeyTableRows - 1, "one legend per row of the key table");
    return legends[row];
}

void DrawFace(QPainter& p)
{
    QLinearGradient upper(0, 0, 0, 260);
    upper.setColorAt(0, QColor(0x63, 0x76, 0x8f));
    upper.setColorAt(1, QColor(0x41, 0x50, 0x63));
    p.fillRect(QRect(0, 0, FaceWidth, 260), upper);
    QLinearGradient lower(0, 260, 0, FaceHeight);
    lower.setColorAt(0, QColor(0x2e, 0x37, 0x44));
    lower.setColorAt(1, QColor(0x1d, 0x23, 0x2b));
    p.fillRect(QRect(0, 260, FaceWidth, FaceHeight - 260), lower);
    p.setPen(QColor(0x15, 0x1a, 0x20));
    p.drawRect(QRect(0, 0, FaceWidth - 1, FaceHeight - 1));

    p.setPen(QColor(0xe6, 0xea, 0xef));
    QFont brand(QStringLiteral("DejaVu Sans"));
    brand.setPixelSize(16);
    brand.setBold(true);
    p.setFont(brand);
    p.drawText(QRect(0, 18, FaceWidth, 24), Qt::AlignCenter, QStringLiteral("hp 49G"));
}

void DrawDisplayWindow(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0x22, 0x28, 0x30), 2));
    p.setBrush(BezelColour());
    p.drawRoundedRect(QRectF(Bezel).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.setRenderHint(QPainter::Antialiasing, false);
    // The LCD sits in a recess: dark above and left, light below and right.
    const QRect recess = LcdWindow.adjusted(-3, -3, 3, 3);
    p.fillRect(recess, QColor(0x6e, 0x76, 0x66));
    p.fillRect(QRect(recess.left(), recess.top(), recess.width(), 3), QColor(0x3c, 0x42, 0x38));
    p.fillRect(QRect(recess.left(), recess.top(), 3, recess.height()), QColor(0x3c, 0x42, 0x38));
    p.fillRect(QRect(recess.left(), LcdWindow.bottom() + 1, recess.width(), 3), QColor(0xd6, 0xdc, 0xcb));
    p.fillRect(QRect(LcdWindow.right() + 1, recess.top() + 3, 3, recess.height() - 3), QColor(0xd6, 0xdc, 0xcb));
    p.fillRect(LcdWindow, LcdColour());
}

void DrawKey(QPainter& p, const KeyRect& key, const Legend& legend)
{
    const QRectF area(key.left, key.top, key.right - key.left, key.bottom - key.top);
    QLinearGradient shade(area.topLeft(), area.bottomLeft());
    shade.setColorAt(0, legend.look->body.lighter(125));
    shade.setColorAt(1, legend.look->body.darker(125));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(legend.look->body.darker(220), 1));
    p.setBrush(shade);
    p.drawRoundedRect(area.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    p.setRenderHint(QPainter::Antialiasing, false);

    QFont font(QStringLiteral("DejaVu Sans"));
    const QString text = QString::fromUtf8(legend.text);
    font.setPixelSize(text.size() > 3 ? 10 : 13);
    font.setBold(true);
    p.setFont(font);
    p.setPen(legend.look->text);
    p.drawText(area.toRect(), Qt::AlignCenter, text);
}

void DrawKeys(QPainter& p)
{
    const KeyRect* previous = nullptr;
    for (int row = 0; row < KeyTableRows; ++row) {
        const KeyRect& key = KeyTable[row];
        if (key.rowCode == EndOfTableRow)
            break;
        // A key reached by two PC keys stands twice in the table.
        if (previous && previous->left == key.left && previous->top == key.top)
            continue;
        DrawKey(p, key, LegendOf(row));
        previous = &key;
    }
}

// The sprites, drawn dark on the bezel: left shift, right shift, alpha,
// alarm, busy, transmit.
void DrawSprites(QPainter& p)
{
    const QColor ink(0x20, 0x24, 0x20);
    p.fillRect(QRect(0, SpriteRowY, FaceWidth, AnnunciatorHeight), BezelColour());
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < AnnunciatorCount; ++i) {
        const QRect r = AnnunciatorSprite(i);
        const qreal x = r.x();
        const qreal y = r.y();
        QPainterPath path;
        switch (i) {
        case 0: // left shift: an arrow up and to the left
            path.moveTo(x + 12, y + 10);
            path.lineTo(x + 12, y + 4);
            path.lineTo(x + 3, y + 4);
            path.moveTo(x + 6, y + 1);
            path.lineTo(x + 3, y + 4);
            path.lineTo(x + 6, y + 7);
            break;
        case 1: // right shift: the mirror image
            path.moveTo(x + 4, y + 10);
            path.lineTo(x + 4, y + 4);
            path.lineTo(x + 13, y + 4);
            path.moveTo(x + 10, y + 1);
            path.lineTo(x + 13, y + 4);
            path.lineTo(x + 10, y + 7);
            break;
        case 2: // alpha
            path.addEllipse(QRectF(x + 3, y + 2.5, 6, 6));
            path.moveTo(x + 9, y + 5.5);
            path.cubicTo(x + 10, y + 2, x + 11, y + 2, x + 13, y + 1.5);
            path.moveTo(x + 9, y + 5.5);
            path.cubicTo(x + 10, y + 9, x + 11, y + 9, x + 13, y + 9.5);
            break;
        case 3: // alarm: a bell
            path.moveTo(x + 3, y + 8.5);
            path.lineTo(x + 13, y + 8.5);
            path.moveTo(x + 4.5, y + 8.5);
            path.cubicTo(x + 4.5, y + 1, x + 11.5, y + 1, x + 11.5, y + 8.5);
            path.addEllipse(QRectF(x + 7, y + 9, 2, 1.5));
            break;
        case 4: // busy: an hourglass
            path.moveTo(x + 4, y + 1);
            path.lineTo(x + 12, y + 1);
            path.lineTo(x + 4, y + 10);
            path.lineTo(x + 12, y + 10);
            path.closeSubpath();
            break;
        default: // transmit: arrows both ways
            path.moveTo(x + 2, y + 3.5);
            path.lineTo(x + 13, y + 3.5);
            path.lineTo(x + 10.5, y + 1);
            path.moveTo(x + 14, y + 7.5);
            path.lineTo(x + 3, y + 7.5);
            path.lineTo(x + 5.5, y + 10);
            break;
        }
        p.drawPath(path);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
}

// The icon in a square of 64 units, drawn at any size. Below 48 pixels the
// display and the keys keep to whole pixels, so that they stay apart.
void DrawIconFace(QPainter& p, int size)
{
    const qreal f = size / 64.0;
    const bool small = size < 48;
    const auto at = [&](qreal x, qreal y, qreal w, qreal h) {
        const QRectF r(x * f, y * f, w * f, h * f);
        if (!small)
            return r;
        return QRectF(QPointF(std::round(r.left()), std::round(r.top())),
                      QPointF(std::round(r.right()), std::round(r.bottom())));
    };
    p.setRenderHint(QPainter::Antialiasing, true);
    QLinearGradient body(0, 2 * f, 0, 62 * f);
    body.setColorAt(0, QColor(0x63, 0x76, 0x8f));
    body.setColorAt(0.4, QColor(0x41, 0x50, 0x63));
    body.setColorAt(0.41, QColor(0x2e, 0x37, 0x44));
    body.setColorAt(1, QColor(0x1d, 0x23, 0x2b));
    p.setPen(QPen(QColor(0x15, 0x1a, 0x20), 1.5 * f));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(11 * f, 1.5 * f, 42 * f, 61 * f), 6 * f, 6 * f);
    p.setPen(Qt::NoPen);
    p.setBrush(BezelColour());
    p.drawRoundedRect(at(14.5, 5, 35, 21), 2.5 * f, 2.5 * f);
    p.setBrush(LcdColour());
    p.drawRect(at(17, 8, 30, 15));
    // Lines of text on the display where there are pixels enough for them.
    if (size >= 32) {
        p.setBrush(QColor(0x30, 0x36, 0x2c));
        for (const auto& [y, width] : {std::pair{10.5, 20.0}, {15, 26.0}, {19.5, 14.0}})
            p.drawRect(at(19, y, width, 2));
    }
    const KeyLook* columns[4][4] = {{&MenuKey, &AlphaKey, &LeftShiftKey, &RightShiftKey},
                                    {&MenuKey, &LightKey, &LightKey, &LightKey},
                                    {&MenuKey, &LightKey, &LightKey, &LightKey},
                                    {&MenuKey, &LightKey, &LightKey, &LightKey}};
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            p.setBrush(columns[column][row]->body);
            // The smallest icons have a pixel or two a key, and as much between keys.
            const qreal g = size / 16.0;
            const QRectF key = size < 32 ? QRectF(std::round((4.5 + 2 * column) * g), std::round((8 + 2 * row) * g),
                                                  std::max(1.0, std::round(g)), std::max(1.0, std::round(g)))
                                         : at(16 + 8.5 * column, row == 0 ? 30 : 29 + 8 * row, 6.5, row == 0 ? 4 : 5.5);
            p.drawRoundedRect(key, small ? 0 : 1.2 * f, small ? 0 : 1.2 * f);
        }
}

} // namespace

QColor BezelColour()
{
    return QColor(0xb9, 0xc2, 0xae);
}

QColor LcdColour()
{
    return QColor(0xa7, 0xb3, 0x98);
}

QImage DrawIcon(int size)
{
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    DrawIconFace(p, size);
    p.end();
    return icon;
}

QIcon PelrinIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(DrawIcon(size)));
    return icon;
}

QImage DrawSkin()
{
    QImage skin(FaceWidth, SpriteRowY + AnnunciatorHeight, QImage::Format_RGB32);
    skin.fill(Qt::black);
    QPainter p(&skin);
    DrawFace(p);
    DrawDisplayWindow(p);
    DrawKeys(p);
    DrawSprites(p);
    p.end();
    return skin;
}

} // namespace pelrin
