// The program's plain parts, each against values written out by hand.
#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "ui/about_dlg.h"
#include "ui/annunciators.h"
#include "ui/file_io.h"
#include "ui/console_text.h"
#include "ui/key_glow.h"
#include "ui/key_table.h"
#include "ui/key_translate.h"
#include "ui/lcd_bridge.h"
#include "ui/object_file.h"
#include "ui/popup_menu.h"
#include "ui/skin/skin_painter.h"
#include "ui/window_drag.h"

using namespace std::chrono_literals;

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
        // The period key's centre finds its Delete twin; no code finds a window button.
        if (i < KeyTableRows - 1) {
            EXPECT_EQ(RowOf(FindKeyAt((k.left + k.right) / 2, (k.top + k.bottom) / 2)), i == 51 ? 50 : i) << i;
            EXPECT_EQ(RowOf(FindKeyByCode(k.pcKey)), i < 2 ? -1 : i) << i;
        }
    }
    // Left and top edges belong to a key, right and bottom ones do not.
    const std::pair<QPoint, int> points[] = {{{87, 543}, 34}, {{140, 577}, 34}, {{141, 560}, -1}, {{100, 578}, -1},
                                             {{86, 560}, -1}, {{100, 542}, -1}, {{346, 15}, 0},   {{347, 0}, -1},
                                             {{0, 0}, 1},     {{16, 0}, -1},    {{150, 140}, -1}, {{199, 711}, 50},
                                             {{-1, 300}, -1}, {{100, 740}, -1}};
    for (const auto& [point, row] : points)
        EXPECT_EQ(RowOf(FindKeyAt(point.x(), point.y())), row) << point.x() << "," << point.y();
    for (uint32_t code : {0u, uint32_t{Vk::Numpad0}, 0x10041u})
        EXPECT_EQ(FindKeyByCode(code), nullptr) << code;
}

TEST(KeyTranslate, QtKeysBecomeTheTablesCodesByThePhysicalKeyAndTheKeypadKeepsItsOwn)
{
    const Qt::KeyboardModifiers none, shift = Qt::ShiftModifier, pad = Qt::KeypadModifier;
    const std::tuple<int, Qt::KeyboardModifiers, uint32_t> cases[] = {
        {Qt::Key_A, none, 0x41},      {Qt::Key_Z, none, 0x5A},         {Qt::Key_0, none, 0x30},       {Qt::Key_9, none, 0x39},
        {Qt::Key_Q, shift, 0x51},     {Qt::Key_Left, none, 0x25},      {Qt::Key_Up, none, 0x26},      {Qt::Key_Right, none, 0x27},
        {Qt::Key_Down, none, 0x28},   {Qt::Key_Backspace, none, 0x08}, {Qt::Key_Tab, none, 0x09},     {Qt::Key_Backtab, shift, 0x09},
        {Qt::Key_Print, none, 0x2A},  {Qt::Key_Shift, shift, 0x10},    {Qt::Key_Insert, none, 0x2D},  {Qt::Key_Equal, none, 0xBB},
        {Qt::Key_Plus, shift, 0xBB},  {Qt::Key_Escape, none, 0x1B},    {Qt::Key_Delete, none, 0x2E},  {Qt::Key_Period, none, 0xBE},
        {Qt::Key_Space, none, 0x20},  {Qt::Key_Return, none, 0x0D},    {Qt::Key_Enter, none, 0x0D},   {Qt::Key_7, pad, 0x67},
        {Qt::Key_0, pad, 0x60},       {Qt::Key_Asterisk, pad, 0x6A},   {Qt::Key_Minus, pad, 0x6D},    {Qt::Key_Plus, pad, 0x6B},
        {Qt::Key_Period, pad, 0x6E},  {Qt::Key_Enter, pad, 0x0D},      {Qt::Key_Left, pad, 0x25},     {Qt::Key_F1, none, 0},
        {Qt::Key_Alt, none, 0},       {Qt::Key_unknown, none, 0},      {Qt::Key_Control, Qt::ControlModifier, 0x11}};
    for (const auto& [key, modifiers, code] : cases)
        EXPECT_EQ(TranslateKey(key, modifiers), code) << std::hex << key;
    for (int key = Qt::Key_0; key <= Qt::Key_9; ++key)
        EXPECT_EQ(FindKeyByCode(TranslateKey(key, pad)), nullptr) << key;

    // A character key goes by what its physical key carries, unshifted first:
    // on a US layout Shift+1 and Shift+. are the 1 and period keys; on a
    // French one the number row gives digits with Shift or without, letters
    // follow the layout and ";." is the period key.
    const std::tuple<int, Qt::KeyboardModifiers, std::u32string_view, uint32_t> physical[] = {
        {Qt::Key_Exclam, shift, U"1!", 0x31},        {Qt::Key_Greater, shift, U".>", 0xBE},
        {Qt::Key_Plus, shift, U"=+", 0xBB},          {Qt::Key_Q, shift, U"qQ", 0x51},
        {Qt::Key_Question, shift, U"/?", 0},         {Qt::Key_Ampersand, none, U"&1", 0x31},
        {Qt::Key_Eacute, none, U"\u00e92~\u00c9", 0x32}, {Qt::Key_1, shift, U"&1", 0x31},
        {Qt::Key_Agrave, none, U"\u00e00@", 0x30},    {Qt::Key_A, none, U"aA\u00e6\u00c6", 0x41},
        {Qt::Key_Semicolon, none, U";.", 0xBE},      {Qt::Key_Ugrave, none, U"\u00f9%", 0},
        {Qt::Key_Left, none, U"1", 0x25},            {Qt::Key_7, pad, U"7", 0x67}};
    for (const auto& [key, modifiers, characters, code] : physical)
        EXPECT_EQ(TranslateKey(key, modifiers, characters), code) << std::hex << key;
    // Without the key's characters a character key goes by what it typed.
    EXPECT_EQ(TranslateKey(Qt::Key_Exclam, shift), 0u);
}

TEST(KeyGlow, BrightenAddsHalfTheAmountClampedAndTheRadiusThreeDiscAddsUpTwice)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(qRgb(10, 200, 250));
    BrightenPixel(image, 1, 1, 256);
    BrightenPixel(image, 2, 2, 101);
    EXPECT_TRUE(image.pixel(1, 1) == qRgb(138, 255, 255) && image.pixel(2, 2) == qRgb(60, 250, 255));
    // Columns cx - 2 to cx + 2, rows cy - 4 to cy + 3, worked out by hand; a
    // second glow before a repaint brightens again.
    const int disc[8][5] = {{0, 27, 32, 27, 0},    {37, 56, 64, 56, 37}, {56, 83, 96, 83, 56}, {64, 96, 128, 96, 64},
                            {64, 96, 128, 96, 64}, {56, 83, 96, 83, 56}, {37, 56, 64, 56, 37}, {0, 27, 32, 27, 0}};
    image.fill(0);
    for (int times = 1; times <= 2; ++times) {
        DrawKeyGlow(image, 8, 8, 3);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const int gain = x >= 6 && x <= 10 && y >= 4 && y <= 11 ? std::min(255, times * disc[y - 4][x - 6]) : 0;
                EXPECT_EQ(image.pixel(x, y), qRgb(gain, gain, gain)) << times << ": " << x << "," << y;
            }
    }
}

TEST(KeyGlow, EachRadiusOfTheTableMakesASymmetricDiscAnd12And16TouchTwoColumnsTwice)
{
    const std::map<int, std::set<int>> columnsTwice = {{7, {}},  {12, {-9, 9}}, {13, {}},
                                                       {14, {}}, {15, {}},      {16, {-12, 12}}};
    for (const auto& [r, expected] : columnsTwice) {
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(0);
        DrawKeyGlow(image, 32, 32, r);
        EXPECT_TRUE(image.pixel(32, 32) == qRgb(128, 128, 128) && image.pixel(32, 31) == qRgb(128, 128, 128)) << r;
        std::set<int> twice;
        for (int y = 0; y < 64; ++y)
            for (int x = 1; x < 64; ++x) {
                SCOPED_TRACE(testing::Message() << "r " << r << " at " << x << "," << y);
                // Rows below the centre count from cy, rows above it from cy - 1.
                const int value = qRed(image.pixel(x, y)), dx = x - 32, k = y >= 32 ? y - 32 : 31 - y;
                // Grey, mirrored about cx and about the line between rows cy - 1 and cy.
                ASSERT_EQ(image.pixel(x, y), qRgb(value, value, value));
                ASSERT_TRUE(image.pixel(64 - x, y) == image.pixel(x, y) && image.pixel(x, 63 - y) == image.pixel(x, y));
                // One span gives half of 256 - trunc(d * 256 / (r + 1)); nothing beyond r.
                const int once = (256 - int(std::sqrt(double(dx * dx + k * k)) * 256.0 / (r + 1))) / 2;
                ASSERT_TRUE(std::abs(dx) > r || k > r ? value == 0 : value == 0 || value == once || value == 2 * once);
                if (value && value == 2 * once)
                    twice.insert(dx);
            }
        EXPECT_EQ(twice, expected) << r;
    }
}

TEST(WindowDrag, TwoPixelsMakeADragAndEdgesWithin15PixelsOfTheScreensArePulledOntoThem)
{
    const QPoint o(100, 200);
    for (QPoint p : {o, QPoint(101, 201), QPoint(99, 199)})
        EXPECT_FALSE(DragStarted(o, p)) << p.x() << "," << p.y();
    for (QPoint p : {QPoint(102, 200), QPoint(100, 198), QPoint(98, 201)})
        EXPECT_TRUE(DragStarted(o, p)) << p.x() << "," << p.y();
    EXPECT_EQ(DraggedWindowPosition(QPoint(300, 100), QPoint(10, 20), QPoint(25, 5)), QPoint(315, 85));
    // A 347 x 740 window at (left, top) on a screen of width x height snaps to (x, y).
    const std::array<int, 6> cases[] = {
        {15, 5, 1024, 768, 0, 0},         {-15, 5, 1024, 768, 0, 0},       {16, 100, 1024, 768, 16, 100},
        {-16, -16, 1024, 768, -16, -16},  {300, -15, 1024, 768, 300, 0},   {300, 100, 1024, 768, 300, 100},
        {687, 10, 1024, 768, 677, 0},     {662, 100, 1024, 768, 677, 100}, {692, 100, 1024, 768, 677, 100},
        {661, 100, 1024, 768, 661, 100},  {300, 20, 1024, 768, 300, 28},   {300, 43, 1024, 768, 300, 28},
        {300, 44, 1024, 768, 300, 44},    {300, 13, 1024, 768, 300, 13},   {5, 500, 357, 2000, 5, 500},
        {-3, 500, 357, 2000, -3, 500},    {5, 10, 357, 2000, 5, 0}};
    for (const auto& [left, top, width, height, x, y] : cases)
        EXPECT_EQ(SnapToScreenEdges(QRect(left, top, 347, 740), QSize(width, height)), QPoint(x, y))
            << left << "," << top << " on " << width << " x " << height;
}

TEST(Annunciators, EachPlaceShowsItsSpriteOrTheBareFaceByItsBitAndNothingElseChanges)
{
    // A face of one colour and sprites whose every pixel tells where it came from.
    QImage skin(347, 751, QImage::Format_RGB32);
    skin.fill(qRgb(20, 30, 40));
    for (int y = 740; y < 751; ++y)
        for (int x = 0; x < 96; ++x)
            skin.setPixel(x, y, qRgb(100 + x / 16, 200 + y - 740, 50 + x % 16));
    QImage target(347, 740, QImage::Format_RGB32);
    target.fill(qRgb(255, 0, 255));
    for (uint8_t bits : {0x3F, 0xC0, 0x25, 0x1A}) {
        RefreshAnnunciators(target, skin, bits);
        // Place i is 16 x 11 at (60 + 51 i, 60).
        for (int y = 0; y < 740; ++y)
            for (int x = 0; x < 347; ++x) {
                const int i = (x - 60) / 51, dx = (x - 60) % 51;
                const bool place = y >= 60 && y < 71 && x >= 60 && dx < 16 && i < 6;
                const QRgb expected = !place ? qRgb(255, 0, 255)
                                      : (bits >> i) & 1 ? qRgb(100 + i, 200 + y - 60, 50 + dx)
                                                        : qRgb(20, 30, 40);
                ASSERT_EQ(target.pixel(x, y), expected) << int(bits) << ": " << x << "," << y;
            }
    }
}

// Each item: its caption (null for a separator) and command (0 for a submenu).
void ExpectItems(const QMenu* menu, std::initializer_list<std::pair<const char*, uint32_t>> items)
{
    ASSERT_EQ(menu->actions().size(), static_cast<qsizetype>(items.size()));
    int i = 0;
    for (const auto& [caption, command] : items) {
        const QAction* action = menu->actions()[i++];
        EXPECT_EQ(action->text().toStdString() + (action->isSeparator() ? "|" : ""), caption ? caption : "|") << i;
        EXPECT_EQ(CommandOf(action), command) << i;
        EXPECT_TRUE((action->menu() != nullptr) == (caption && !command) && action->isEnabled() && !action->isCheckable());
    }
}

TEST(PopupMenu, TheItemsCaptionsMnemonicsAndCommandsInOrderAndTheAboutBox)
{
    std::unique_ptr<QMenu> menu(BuildPopupMenu(nullptr));
    ExpectItems(menu.get(), {{"Korvane", 32778}, {nullptr, 0}, {"&Object", 0}, {"&State", 0}, {"&Engine", 0},
                             {"&Console", 1005}, {"&Minimize", 32785}, {"&Quit", 32771}});
    ExpectItems(menu->actions()[2]->menu(), {{"Load with &Kermit", 32782}, {"Load with &XModem", 32783},
                                             {"Load on &Stack", 32776}, {"Load in Port &1", 32784}});
    ExpectItems(menu->actions()[3]->menu(), {{"&Load", 32780}, {"&Save", 32781}});
    ExpectItems(menu->actions()[4]->menu(), {{"&Start", 32772}, {"S&top", 32773}, {"&Reset", 32779}});
    EXPECT_EQ(CommandOf(nullptr), 0u);

    // The About box shows the application's icon.
    QApplication::setWindowIcon(PelrinIcon());
    CAboutDlg about;
    QApplication::setWindowIcon(QIcon());
    const QList<QLabel*> labels = about.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 3);
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* l) { return l->text() == "Pelrin"; }));
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* l) {
        return l->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied) == DrawIcon(64);
    }));
    const auto* buttons = about.findChild<QDialogButtonBox*>();
    // Its modality is seen on the window, opened by "Korvane".
    EXPECT_TRUE(buttons && buttons->buttons().size() == 1 && buttons->button(QDialogButtonBox::Ok));
}

TEST(Skin, TheBuiltBmpIsThePaintersPictureWithTheLcdWindowTheAnnunciatorsAndEveryKeyWithALegend)
{
    QFile file(PELRIN_SKIN_PATH);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << PELRIN_SKIN_PATH;
    const QByteArray bmp = file.readAll();
    // 24-bit, 347 x 751 stored bottom up, rows of 347 x 3 bytes padded to 1044.
    ASSERT_EQ(bmp.size(), 54 + 1044 * 751);
    const auto word = [&](int at) { return uint8_t(bmp[at]) | uint8_t(bmp[at + 1]) << 8; };
    EXPECT_TRUE(bmp.startsWith("BM") && word(18) == 347 && word(22) == 751 && word(28) == 24);
    const QImage skin = DrawSkin();
    EXPECT_EQ(QImage(PELRIN_SKIN_PATH).convertToFormat(QImage::Format_RGB32), skin.convertToFormat(QImage::Format_RGB32));
    // The LCD window is one colour, in a recess of others.
    for (int y = 76; y <= 205; ++y)
        for (int x = 41; x <= 304; ++x)
            ASSERT_EQ(skin.pixel(x, y) == LcdColour().rgb(), x >= 42 && x < 304 && y >= 77 && y < 205) << x << "," << y;
    // The annunciator places are bare bezel; each sprite a clear mark, neither a speck nor a block.
    for (int i = 0; i < AnnunciatorCount; ++i) {
        int ink = 0;
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 16; ++x) {
                EXPECT_EQ(skin.pixel(60 + 51 * i + x, 60 + y), BezelColour().rgb()) << i;
                ink += skin.pixel(16 * i + x, 740 + y) != BezelColour().rgb();
            }
        EXPECT_TRUE(ink > 12 && ink < 16 * 11 * 3 / 4) << i << ": " << ink;
    }
    // Every key is drawn with a legend that stands out from its body.
    for (int i = 0; i < KeyTableRows - 1; ++i) {
        const KeyRect& key = KeyTable[i];
        const QRgb body = skin.pixel(key.left + 4, (key.top + key.bottom) / 2);
        int ink = 0;
        for (int y = key.top + 3; y < key.bottom - 3; ++y)
            for (int x = key.left + 6; x < key.right - 6; ++x)
                ink += std::abs(qGray(skin.pixel(x, y)) - qGray(body)) > 60;
        EXPECT_GT(ink, 5) << i;
        EXPECT_NE(body, skin.pixel(key.left > 0 ? key.left - 1 : key.right, (key.top + key.bottom) / 2)) << i;
    }
}

TEST(Skin, TheIconIsACalculatorFaceAtEachUsualSizeOnAClearGround)
{
    const QList<QSize> sizes = PelrinIcon().availableSizes();
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
        const QImage icon = DrawIcon(size);
        ASSERT_EQ(icon.size(), QSize(size, size));
        // Clear corners; down the middle the display's colour above the light keys.
        EXPECT_TRUE(qAlpha(icon.pixel(0, 0)) == 0 && qAlpha(icon.pixel(size - 1, size - 1)) == 0) << size;
        int lcd = -1, key = -1;
        const QColor shade = LcdColour();
        for (int y = 0; y < size; ++y) {
            const QColor p = QColor::fromRgba(icon.pixel(size * 28 / 64, y));
            if (lcd < 0 && std::abs(p.red() - shade.red()) + std::abs(p.green() - shade.green()) +
                                   std::abs(p.blue() - shade.blue()) < 20)
                lcd = y;
            if (lcd >= 0 && key < 0 && y > size / 2 && qGray(p.rgb()) > 150)
                key = y;
        }
        EXPECT_TRUE(lcd >= 0 && lcd < size / 3 && key > lcd) << size << ": " << lcd << ", " << key;
    }
}

// Blits as the display library does: RGB555 pixels in rows of pitch pixels.
struct Bridge {
    void Blit(const std::vector<uint16_t>& pixels, uint32_t pitch, int32_t x, int32_t y, uint32_t width, uint32_t height)
    {
        Lcd.Window()->blit(Lcd.Window()->context, pixels.data(), pitch, x, y, width, height);
    }
    int Arrivals = 0;
    LcdBridge Lcd{[this] { ++Arrivals; }};
    QImage Canvas = QImage(347, 740, QImage::Format_RGB32);
};

TEST(LcdBridge, Rgb555BecomesEightBitsAChannelInThePicturesRectangleAtOnceOnTheGuiThreadAndBadBlitsAreIgnored)
{
    Bridge c;
    c.Canvas.fill(qRgb(1, 2, 3));
    const std::vector<uint16_t> pixels(64, 0x7FFF);
    c.Blit(pixels, 8, 0, 0, 0, 8);
    c.Blit(pixels, 8, 0, 0, 8, 0);
    c.Blit(pixels, 4, 0, 0, 8, 8); // rows shorter than the picture
    c.Lcd.Window()->blit(c.Lcd.Window()->context, nullptr, 8, 0, 0, 8, 8);
    c.Lcd.Window()->blit(nullptr, pixels.data(), 8, 0, 0, 8, 8);
    c.Lcd.Window()->post(c.Lcd.Window()->context, 0x400, 1, 2); // harmless: the program sets no action that posts
    QCoreApplication::processEvents();
    EXPECT_TRUE(c.Arrivals == 0 && c.Lcd.DrawInto(c.Canvas).isEmpty());
    // Two rows of six in a bitmap eight pixels wide.
    c.Blit({0x0000, 0x7FFF, 0x4210, 0x7C00, 0x03E0, 0x001F, 0x7FFF, 0x7FFF,
            0x001F, 0x03E0, 0x7C00, 0x4210, 0x7FFF, 0x0000, 0x7FFF, 0x7FFF}, 8, 10, 20, 6, 2);
    EXPECT_EQ(c.Arrivals, 1);
    EXPECT_EQ(c.Lcd.DrawInto(c.Canvas), QRect(10, 20, 6, 2));
    const QRgb o = qRgb(1, 2, 3), k = qRgb(0, 0, 0), w = qRgb(255, 255, 255), g = qRgb(132, 132, 132), // 10000: 10000100
        r = qRgb(255, 0, 0), n = qRgb(0, 255, 0), b = qRgb(0, 0, 255);
    const QRgb expected[3][9] = {{o, k, w, g, r, n, b, o, o}, {o, b, n, r, g, w, k, o, o}, {o, o, o, o, o, o, o, o, o}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(c.Canvas.pixel(9 + x, 20 + y), expected[y][x]) << x << "," << y;
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Arrivals, 1); // nothing queued besides
}

TEST(LcdBridge, BlitsFromAnotherThreadArriveOnceThroughTheQueueWithTheLatestPicture)
{
    Bridge c;
    for (int round = 1; round <= 2; ++round) {
        std::thread([&] {
            for (int level = 0; level < 32; ++level)
                c.Blit(std::vector<uint16_t>(8, uint16_t((round == 1 ? level : 31 - level) * 0x421)), 4, 5, 6, 4, 2);
        }).join();
        EXPECT_EQ(c.Arrivals, round - 1); // nothing done on the render thread
        QCoreApplication::processEvents();
        EXPECT_EQ(c.Arrivals, round);
        EXPECT_EQ(c.Lcd.DrawInto(c.Canvas), QRect(5, 6, 4, 2));
        EXPECT_EQ(c.Canvas.pixel(8, 7), round == 1 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    }
}

TEST(ReceivedText, Latin1WithoutZeroBytesOneLineEndForCrLfOrTheirPairAndAGatheringDelay)
{
    ReceivedTextBuffer buffer;
    for (uint8_t byte : std::initializer_list<uint8_t>{'a', 0x00, 0xE9, '\r', 0x00, '\n', 'b', '\n', '\r', 'c', '\r'})
        buffer.Add(byte);
    EXPECT_EQ(buffer.Take(), "a\xE9\nb\n\nc\n");
    buffer.Add('\n'); // the LF of the pair whose CR was taken
    buffer.Add(0x00);
    EXPECT_TRUE(buffer.Empty());
    // Three times what the last take cost, never less than 10 ms.
    EXPECT_EQ(FlushDelay(0ns), 10ms);
    EXPECT_EQ(FlushDelay(4ms), 12ms);
    EXPECT_EQ(FlushDelay(50ms), 150ms);
}

// What f returns in a child process that has no more rights than anyone:
// root reads every file.
std::string WithoutRootsRights(const std::function<std::string()>& f)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0)
            _exit(1);
        const std::string result = f();
        _exit(write(fds[1], result.data(), result.size()) == ssize_t(result.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::string result;
    char buffer[256];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, size_t(got));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : "child failed";
}

TEST(ObjectFiles, OnlyRegularFilesOfAtMost131072BytesAreReadAndEachRefusalSaysWhy)
{
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(name).toStdString(); };
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    for (const auto& [name, size] : {std::pair{"largest", 131072}, {"over", 131073}, {"locked", 10}}) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size);
    }
    ASSERT_EQ(chmod(path("locked").c_str(), 0), 0);
    const std::pair<std::string, const char*> refused[] = {
        {path("fifo"), "It is a named pipe, not a file."},
        {dir.path().toStdString(), "It is a directory."},
        {"/dev/zero", "It is a device, not a file."},
        {path("missing"), "No such file or directory."},
        {path("over"), "It is 131073 bytes long, more than the 131072 bytes such a file may have."}};
    for (const auto& [file, reason] : refused) {
        std::string why;
        EXPECT_EQ(ReadObjectFile(file, why), std::nullopt) << file;
        EXPECT_EQ(why, reason) << file;
    }
    std::string why;
    const auto largest = ReadObjectFile(path("largest"), why);
    EXPECT_TRUE(largest && largest->size() == 131072 && why.empty());
    EXPECT_EQ(WhyUnreadable(path("largest")), "");
    EXPECT_EQ(WithoutRootsRights([&] {
                  std::string reason;
                  return ReadObjectFile(path("locked"), reason) ? "read" : reason;
              }),
              "Permission denied.");
    EXPECT_EQ(ObjectName("GAME.LIB"), "GAME.LIB");
}

} // namespace
} // namespace pelrin
