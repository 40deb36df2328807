// The key table against the calculator's layout written out by hand, PC
// keys into its codes, the glow pixel by pixel, and the drag and snap rule.
#include <QImage>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <set>

#include "ui/key_glow.h"
#include "ui/key_table.h"
#include "ui/key_translate.h"
#include "ui/window_drag.h"

namespace pelrin {
namespace {

// left, top, right, bottom, matrix row, column or command, glow radius, PC key.
using Row = std::array<int, 8>;
// clang-format off
const Row Expected[KeyTableRows] = {
    {331, 0, 347, 16, 10, 32771, 7, 255},  {0, 0, 16, 16, 10, 32785, 7, 255},     {21, 275, 66, 302, 5, 0, 12, 0x41},
    {72, 275, 117, 302, 5, 1, 12, 0x42},   {124, 275, 169, 302, 5, 2, 12, 0x43},  {176, 275, 221, 302, 5, 3, 12, 0x44},
    {228, 275, 273, 302, 5, 4, 12, 0x45},  {281, 275, 326, 302, 5, 5, 12, 0x46},  {27, 322, 79, 353, 5, 7, 14, 0x47},
    {87, 322, 139, 353, 4, 7, 14, 0x48},   {146, 322, 198, 353, 3, 7, 14, 0x49},  {27, 363, 79, 394, 2, 7, 14, 0x4A},
    {87, 363, 139, 394, 1, 7, 14, 0x4B},   {146, 363, 198, 394, 0, 7, 14, 0x4C},  {237, 305, 285, 338, 6, 3, 15, 0x26},
    {237, 385, 285, 418, 6, 1, 15, 0x28},  {206, 343, 253, 377, 6, 2, 16, 0x25},  {271, 343, 318, 377, 6, 0, 16, 0x27},
    {27, 420, 81, 449, 4, 6, 13, 0x4D},    {87, 420, 141, 449, 3, 6, 13, 0x4E},   {146, 420, 200, 449, 2, 6, 13, 0x4F},
    {206, 420, 260, 449, 1, 6, 13, 0x50},  {266, 420, 320, 449, 0, 6, 13, 0x08},  {27, 460, 81, 489, 4, 5, 13, 0x51},
    {87, 460, 141, 489, 3, 5, 13, 0x52},   {146, 460, 200, 489, 2, 5, 13, 0x53},  {206, 460, 260, 489, 1, 5, 13, 0x54},
    {266, 460, 320, 489, 0, 5, 13, 0x55},  {27, 500, 81, 529, 4, 4, 13, 0x56},    {87, 500, 141, 529, 3, 4, 13, 0x57},
    {146, 500, 200, 529, 2, 4, 13, 0x58},  {206, 500, 260, 529, 1, 4, 13, 0x59},  {266, 500, 320, 529, 0, 4, 13, 0x5A},
    {27, 543, 81, 578, 7, 3, 16, 0x09},    {87, 543, 141, 578, 3, 3, 16, 0x37},   {146, 543, 200, 578, 2, 3, 16, 0x38},
    {206, 543, 260, 578, 1, 3, 16, 0x39},  {266, 543, 320, 578, 0, 3, 16, 0x2A},  {27, 588, 81, 623, 7, 2, 16, 0x10},
    {87, 588, 141, 623, 3, 2, 16, 0x34},   {146, 588, 200, 623, 2, 2, 16, 0x35},  {206, 588, 260, 623, 1, 2, 16, 0x36},
    {266, 588, 320, 623, 0, 2, 16, 0x2D},  {27, 632, 81, 667, 7, 1, 16, 0x11},    {87, 632, 141, 667, 3, 1, 16, 0x31},
    {146, 632, 200, 667, 2, 1, 16, 0x32},  {206, 632, 260, 667, 1, 1, 16, 0x33},  {266, 632, 320, 667, 0, 1, 16, 0xBB},
    {27, 677, 81, 712, 9, 9, 16, 0x1B},    {87, 677, 141, 712, 3, 0, 16, 0x30},   {146, 677, 200, 712, 2, 0, 16, 0x2E},
    {146, 677, 200, 712, 2, 0, 16, 0xBE},  {206, 677, 260, 712, 1, 0, 16, 0x20},  {266, 677, 320, 712, 0, 0, 16, 0x0D},
    {0, 0, 0, 0, -1, 0, -1, 255},
};
// clang-format on

int RowOf(const KeyRect* key)
{
    return key ? static_cast<int>(key - KeyTable.data()) : -1;
}

TEST(KeyTable, EveryRowAndTheLookupsByPointAndByCode)
{
    for (int i = 0; i < KeyTableRows; ++i) {
        const KeyRect& k = KeyTable[i];
        EXPECT_EQ((Row{k.left, k.top, k.right, k.bottom, k.rowCode, k.columnCode, k.radius, k.pcKey}), Expected[i]) << i;
        if (i == KeyTableRows - 1)
            continue;
        // The period key (row 51) is found by the mouse as its Delete twin.
        EXPECT_EQ(RowOf(FindKeyAt((k.left + k.right) / 2, (k.top + k.bottom) / 2)), i == 51 ? 50 : i) << i;
        EXPECT_EQ(RowOf(FindKeyByCode(k.pcKey)), i < 2 ? -1 : i) << i;
    }
    // Left and top edges belong to a key, right and bottom ones do not.
    const std::pair<QPoint, int> points[] = {
        {{87, 543}, 34}, {{140, 577}, 34}, {{141, 560}, -1}, {{100, 578}, -1}, {{86, 560}, -1},  {{100, 542}, -1},
        {{346, 15}, 0},  {{347, 0}, -1},   {{0, 0}, 1},      {{16, 0}, -1},    {{150, 140}, -1}, {{199, 711}, 50},
        {{-1, 300}, -1}, {{100, 740}, -1}};
    for (const auto& [point, row] : points)
        EXPECT_EQ(RowOf(FindKeyAt(point.x(), point.y())), row) << point.x() << "," << point.y();
    // The window buttons carry 255 but no key finds them; nor the end row.
    for (uint32_t code : {255u, 0u, uint32_t{Vk::Numpad0}, 0x10041u})
        EXPECT_EQ(FindKeyByCode(code), nullptr) << code;
}

TEST(KeyTranslate, QtKeysBecomeTheTablesCodesAndTheKeypadKeepsItsOwn)
{
    const Qt::KeyboardModifiers none, shift = Qt::ShiftModifier, pad = Qt::KeypadModifier;
    const std::tuple<int, Qt::KeyboardModifiers, uint32_t> cases[] = {
        {Qt::Key_A, none, 0x41},         {Qt::Key_Z, none, 0x5A},      {Qt::Key_0, none, 0x30},
        {Qt::Key_9, none, 0x39},         {Qt::Key_Q, shift, 0x51},     {Qt::Key_Left, none, 0x25},
        {Qt::Key_Up, none, 0x26},        {Qt::Key_Right, none, 0x27},  {Qt::Key_Down, none, 0x28},
        {Qt::Key_Backspace, none, 0x08}, {Qt::Key_Tab, none, 0x09},    {Qt::Key_Backtab, shift, 0x09},
        {Qt::Key_Print, none, 0x2A},     {Qt::Key_Shift, shift, 0x10}, {Qt::Key_Insert, none, 0x2D},
        {Qt::Key_Control, Qt::ControlModifier, 0x11}, {Qt::Key_Equal, none, 0xBB}, {Qt::Key_Plus, shift, 0xBB},
        {Qt::Key_Escape, none, 0x1B},    {Qt::Key_Delete, none, 0x2E}, {Qt::Key_Period, none, 0xBE},
        {Qt::Key_Space, none, 0x20},     {Qt::Key_Return, none, 0x0D}, {Qt::Key_Enter, none, 0x0D},
        {Qt::Key_7, pad, 0x67},          {Qt::Key_0, pad, 0x60},       {Qt::Key_Asterisk, pad, 0x6A},
        {Qt::Key_Minus, pad, 0x6D},      {Qt::Key_Plus, pad, 0x6B},    {Qt::Key_Period, pad, 0x6E},
        {Qt::Key_Enter, pad, 0x0D},      {Qt::Key_Left, pad, 0x25},    {Qt::Key_F1, none, 0},
        {Qt::Key_Alt, none, 0},          {Qt::Key_Exclam, none, 0},    {Qt::Key_unknown, none, 0},
    };
    for (const auto& [key, modifiers, code] : cases)
        EXPECT_EQ(TranslateKey(key, modifiers), code) << std::hex << key;
    for (int key = Qt::Key_0; key <= Qt::Key_9; ++key)
        EXPECT_EQ(FindKeyByCode(TranslateKey(key, pad)), nullptr) << key;
}

QImage Black(int size)
{
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 0));
    return image;
}

// Rows below the centre count from cy, rows above it from cy - 1.
int RowDistance(int y, int cy)
{
    return y >= cy ? y - cy : cy - 1 - y;
}

TEST(KeyGlow, BrightenAddsHalfTheAmountAndClampsAndTheRadiusThreeDiscAddsUpTwice)
{
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(qRgb(10, 200, 250));
    BrightenPixel(image, 1, 1, 256);
    BrightenPixel(image, 2, 2, 101);
    EXPECT_EQ(image.pixel(1, 1), qRgb(138, 255, 255));
    EXPECT_EQ(image.pixel(2, 2), qRgb(60, 250, 255));

    // Columns cx - 2 to cx + 2, rows cy - 4 to cy + 3, worked out by hand; a
    // second glow before a repaint brightens again.
    const int disc[8][5] = {{0, 27, 32, 27, 0},    {37, 56, 64, 56, 37}, {56, 83, 96, 83, 56}, {64, 96, 128, 96, 64},
                            {64, 96, 128, 96, 64}, {56, 83, 96, 83, 56}, {37, 56, 64, 56, 37}, {0, 27, 32, 27, 0}};
    image = Black(16);
    for (int times = 1; times <= 2; ++times) {
        DrawKeyGlow(image, 8, 8, 3);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const bool inside = x >= 6 && x <= 10 && y >= 4 && y <= 11;
                const int gain = inside ? std::min(255, times * disc[y - 4][x - 6]) : 0;
                EXPECT_EQ(image.pixel(x, y), qRgb(gain, gain, gain)) << times << ": " << x << "," << y;
            }
    }
}

TEST(KeyGlow, EachRadiusOfTheTableMakesASymmetricDiscAnd12And16TouchTwoColumnsTwice)
{
    const std::map<int, std::set<int>> columnsTwice = {{7, {}},  {12, {-9, 9}}, {13, {}},
                                                       {14, {}}, {15, {}},      {16, {-12, 12}}};
    for (const auto& [r, expected] : columnsTwice) {
        QImage image = Black(64);
        DrawKeyGlow(image, 32, 32, r);
        EXPECT_EQ(image.pixel(32, 32), qRgb(128, 128, 128)) << r;
        EXPECT_EQ(image.pixel(32, 31), qRgb(128, 128, 128)) << r;
        std::set<int> twice;
        for (int y = 0; y < 64; ++y)
            for (int x = 1; x < 64; ++x) {
                SCOPED_TRACE(testing::Message() << "r " << r << " at " << x << "," << y);
                const int value = qRed(image.pixel(x, y));
                ASSERT_EQ(image.pixel(x, y), qRgb(value, value, value));
                // Mirrored about cx, and about the line between rows cy - 1 and cy.
                ASSERT_EQ(image.pixel(64 - x, y), image.pixel(x, y));
                ASSERT_EQ(image.pixel(x, 63 - y), image.pixel(x, y));
                const int dx = x - 32, k = RowDistance(y, 32);
                if (std::abs(dx) > r || k > r) {
                    ASSERT_EQ(value, 0);
                } else if (value != 0) {
                    // One span gives half of 256 - trunc(d * 256 / (r + 1)).
                    const int once = (256 - int(std::sqrt(double(dx * dx + k * k)) * 256.0 / (r + 1))) / 2;
                    ASSERT_TRUE(value == once || value == 2 * once) << value << " for " << once;
                    if (value == 2 * once)
                        twice.insert(dx);
                }
            }
        EXPECT_EQ(twice, expected) << r;
    }
}

TEST(WindowDrag, TwoPixelsMakeADragAndEdgesWithin15PixelsOfTheScreensArePulledOntoThem)
{
    const QPoint origin(100, 200);
    for (QPoint p : {origin, QPoint(101, 201), QPoint(99, 199)})
        EXPECT_FALSE(DragStarted(origin, p)) << p.x() << "," << p.y();
    for (QPoint p : {QPoint(102, 200), QPoint(100, 198), QPoint(98, 201)})
        EXPECT_TRUE(DragStarted(origin, p)) << p.x() << "," << p.y();
    EXPECT_EQ(DraggedWindowPosition(QPoint(300, 100), QPoint(10, 20), QPoint(25, 5)), QPoint(315, 85));

    // A 347 x 740 window at (left, top) on a screen of width x height snaps to (x, y).
    struct Case {
        int left, top, width, height, x, y;
    };
    const Case cases[] = {
        {15, 5, 1024, 768, 0, 0},       {-15, 5, 1024, 768, 0, 0},       {16, 100, 1024, 768, 16, 100},
        {-16, -16, 1024, 768, -16, -16}, {300, -15, 1024, 768, 300, 0},   {300, 100, 1024, 768, 300, 100},
        {687, 10, 1024, 768, 677, 0},   {662, 100, 1024, 768, 677, 100}, {692, 100, 1024, 768, 677, 100},
        {661, 100, 1024, 768, 661, 100}, {300, 20, 1024, 768, 300, 28},   {300, 43, 1024, 768, 300, 28},
        {300, 44, 1024, 768, 300, 44},  {300, 13, 1024, 768, 300, 13},   // top and bottom both in range
        {5, 500, 357, 2000, 5, 500},    {-3, 500, 357, 2000, -3, 500},   {5, 10, 357, 2000, 5, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SnapToScreenEdges(QRect(c.left, c.top, 347, 740), QSize(c.width, c.height)), QPoint(c.x, c.y))
            << c.left << "," << c.top << " on " << c.width << " x " << c.height;
}

} // namespace
} // namespace pelrin
