// The window's plain parts: the annunciator refresh, the popup menu and the
// About box, the generated skin, the LCD's way from the display library's
// threads into the window's picture, the console's received text and the
// object files.
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

#include "ui/about_dlg.h"
#include "ui/annunciators.h"
#include "ui/console_text.h"
#include "ui/key_table.h"
#include "ui/lcd_bridge.h"
#include "ui/object_file.h"
#include "ui/popup_menu.h"
#include "ui/skin/skin_painter.h"

using namespace std::chrono_literals;

namespace pelrin {
namespace {

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

struct Item {
    const char* caption; // null: a separator
    uint32_t command;    // 0: a submenu
};

void ExpectItems(const QMenu* menu, std::initializer_list<Item> items)
{
    ASSERT_EQ(menu->actions().size(), static_cast<qsizetype>(items.size()));
    int i = 0;
    for (const Item& item : items) {
        const QAction* action = menu->actions()[i++];
        EXPECT_EQ(action->isSeparator(), !item.caption) << i;
        EXPECT_EQ(action->text().toStdString(), item.caption ? item.caption : "") << i;
        EXPECT_EQ(CommandOf(action), item.command) << i;
        EXPECT_EQ(action->menu() != nullptr, item.caption && item.command == 0) << i;
        EXPECT_TRUE(action->isEnabled() && !action->isCheckable()) << i;
    }
}

TEST(PopupMenu, TheItemsCaptionsMnemonicsAndCommandsInOrderAndTheModalAboutBox)
{
    std::unique_ptr<QMenu> menu(BuildPopupMenu(nullptr));
    ExpectItems(menu.get(), {{"Korvane", 32778}, {nullptr, 0}, {"&Object", 0}, {"&State", 0}, {"&Engine", 0},
                             {"&Console", 1005}, {"&Minimize", 32785}, {"&Quit", 32771}});
    ExpectItems(menu->actions()[2]->menu(), {{"Load with &Kermit", 32782}, {"Load with &XModem", 32783},
                                             {"Load on &Stack", 32776}, {"Load in Port &1", 32784}});
    ExpectItems(menu->actions()[3]->menu(), {{"&Load", 32780}, {"&Save", 32781}});
    ExpectItems(menu->actions()[4]->menu(), {{"&Start", 32772}, {"S&top", 32773}, {"&Reset", 32779}});
    EXPECT_EQ(CommandOf(nullptr), 0u);

    CAboutDlg about;
    const QList<QLabel*> labels = about.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 2);
    EXPECT_TRUE(labels[0]->text() == QStringLiteral("Pelrin") || labels[1]->text() == QStringLiteral("Pelrin"));
    const auto* buttons = about.findChild<QDialogButtonBox*>();
    ASSERT_TRUE(buttons && buttons->buttons().size() == 1 && buttons->button(QDialogButtonBox::Ok));
    // Modal: exec returns only once OK was pressed.
    QTimer::singleShot(0, buttons->button(QDialogButtonBox::Ok), &QPushButton::click);
    EXPECT_EQ(about.exec(), QDialog::Accepted);
}

TEST(Skin, TheBuiltFileIsThePaintersPictureAsA24BitBmpOf347By751)
{
    QFile file(QStringLiteral(PELRIN_SKIN_PATH));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << PELRIN_SKIN_PATH;
    const QByteArray bytes = file.readAll();
    ASSERT_GE(bytes.size(), 54);
    const auto word = [&](int at) { return uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8; };
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(word(18), 347);
    EXPECT_EQ(word(22), 751); // positive: rows bottom up
    EXPECT_EQ(word(28), 24);
    EXPECT_EQ(bytes.size(), 54 + 1044 * 751); // rows of 347 x 3 bytes padded to 1044
    EXPECT_EQ(QImage(QStringLiteral(PELRIN_SKIN_PATH)).convertToFormat(QImage::Format_RGB32),
              DrawSkin().convertToFormat(QImage::Format_RGB32));
}

TEST(Skin, TheLcdWindowInItsRecessTheBareAnnunciatorPlacesTheSpritesAndEveryKeyWithALegend)
{
    const QImage skin = DrawSkin();
    const QRgb lcd = LcdColour().rgb(), bezel = BezelColour().rgb();
    for (int y = 76; y <= 205; ++y)
        for (int x = 41; x <= 304; ++x) {
            const bool inside = x >= 42 && x < 304 && y >= 77 && y < 205;
            ASSERT_EQ(skin.pixel(x, y) == lcd, inside) << x << "," << y;
        }
    for (int i = 0; i < AnnunciatorCount; ++i) {
        int ink = 0;
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 16; ++x) {
                EXPECT_EQ(skin.pixel(60 + 51 * i + x, 60 + y), bezel) << i;
                ink += skin.pixel(16 * i + x, 740 + y) != bezel;
            }
        // A clear mark, neither a speck nor a filled block.
        EXPECT_TRUE(ink > 12 && ink < 16 * 11 * 3 / 4) << i << ": " << ink;
    }
    for (int i = 0; i < KeyTableRows - 1; ++i) {
        const KeyRect& key = KeyTable[i];
        // The key's body differs from the face just outside it, and its legend from the body.
        const int middle = (key.top + key.bottom) / 2;
        const QRgb body = skin.pixel(key.left + 4, middle);
        const QRgb outside = skin.pixel(key.left > 0 ? key.left - 1 : key.right, middle);
        EXPECT_GT(std::abs(qGray(body) - qGray(outside)) + std::abs(qRed(body) - qRed(outside)) +
                      std::abs(qBlue(body) - qBlue(outside)), 20) << i;
        int ink = 0;
        for (int y = key.top + 3; y < key.bottom - 3; ++y)
            for (int x = key.left + 6; x < key.right - 6; ++x)
                ink += std::abs(qGray(skin.pixel(x, y)) - qGray(body)) > 60;
        EXPECT_GT(ink, 5) << i;
    }
}

// Blits as the display library does: RGB555 pixels in rows of pitch pixels.
void Blit(LcdBridge& bridge, const std::vector<uint16_t>& pixels, uint32_t pitch, int32_t x, int32_t y,
          uint32_t width, uint32_t height)
{
    bridge.Window()->blit(bridge.Window()->context, pixels.data(), pitch, x, y, width, height);
}

std::vector<uint16_t> Grey(uint32_t count, uint16_t level)
{
    return std::vector<uint16_t>(count, static_cast<uint16_t>(level * 0x421));
}

struct Counting {
    int Arrivals = 0;
    LcdBridge Bridge{[this] { ++Arrivals; }};
};

QImage Canvas()
{
    QImage canvas(347, 740, QImage::Format_RGB32);
    canvas.fill(qRgb(1, 2, 3));
    return canvas;
}

TEST(LcdBridge, Rgb555BecomesEightBitsAChannelInThePicturesRectangleAndArrivesAtOnceOnTheGuiThread)
{
    Counting c;
    // Two rows of six in a bitmap eight pixels wide.
    Blit(c.Bridge, {0x0000, 0x7FFF, 0x4210, 0x7C00, 0x03E0, 0x001F, 0x7FFF, 0x7FFF,
                    0x001F, 0x03E0, 0x7C00, 0x4210, 0x7FFF, 0x0000, 0x7FFF, 0x7FFF}, 8, 10, 20, 6, 2);
    EXPECT_EQ(c.Arrivals, 1);
    QImage canvas = Canvas();
    EXPECT_EQ(c.Bridge.DrawInto(canvas), QRect(10, 20, 6, 2));
    const QRgb o = qRgb(1, 2, 3), k = qRgb(0, 0, 0), w = qRgb(255, 255, 255), g = qRgb(132, 132, 132), // 10000: 10000100
        r = qRgb(255, 0, 0), n = qRgb(0, 255, 0), b = qRgb(0, 0, 255);
    const QRgb expected[3][8] = {{k, w, g, r, n, b, o, o}, {b, n, r, g, w, k, o, o}, {o, o, o, o, o, o, o, o}};
    for (int y = 0; y < 3; ++y)
        for (int x = -1; x < 8; ++x)
            EXPECT_EQ(canvas.pixel(10 + x, 20 + y), x < 0 ? o : expected[y][x]) << x << "," << y;
    Blit(c.Bridge, Grey(1, 31), 1, 0, 0, 1, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Arrivals, 2); // nothing queued besides
}

TEST(LcdBridge, BlitsFromAnotherThreadArriveOnceThroughTheQueueWithTheLatestPictureNeverTorn)
{
    Counting c;
    std::thread([&] {
        for (uint16_t level = 0; level < 32; ++level)
            Blit(c.Bridge, Grey(8, level), 4, 5, 6, 4, 2);
    }).join();
    EXPECT_EQ(c.Arrivals, 0); // nothing done on the render thread
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Arrivals, 1);
    QImage canvas = Canvas();
    EXPECT_EQ(c.Bridge.DrawInto(canvas), QRect(5, 6, 4, 2));
    EXPECT_EQ(canvas.pixel(8, 7), qRgb(255, 255, 255));

    // The queue is free again for the next blits, drawn whole while they come.
    std::atomic<bool> done{false};
    std::thread render([&] {
        const std::vector<uint16_t> dark = Grey(288 * 128, 0), light = Grey(288 * 128, 31);
        for (int n = 1; n <= 300; ++n)
            Blit(c.Bridge, n % 2 ? dark : light, 288, 42, 77, 262, 128);
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents();
        c.Bridge.DrawInto(canvas);
        const QRgb first = canvas.pixel(42, 77);
        ASSERT_TRUE(canvas.pixel(303, 204) == first && canvas.pixel(170, 140) == first);
    }
    render.join();
    QCoreApplication::processEvents();
    EXPECT_GE(c.Arrivals, 2);
    c.Bridge.DrawInto(canvas);
    EXPECT_EQ(canvas.pixel(100, 100), qRgb(255, 255, 255)); // the 300th blit was light
}

TEST(LcdBridge, ABlitThatCannotBeAPictureIsIgnored)
{
    Counting c;
    const std::vector<uint16_t> pixels(64, 0x7FFF);
    KHWindow* window = c.Bridge.Window();
    window->blit(window->context, nullptr, 8, 0, 0, 8, 8);
    window->blit(window->context, pixels.data(), 8, 0, 0, 0, 8);
    window->blit(window->context, pixels.data(), 8, 0, 0, 8, 0);
    window->blit(window->context, pixels.data(), 4, 0, 0, 8, 8); // rows shorter than the picture
    window->blit(nullptr, pixels.data(), 8, 0, 0, 8, 8);
    window->post(window->context, 0x400, 1, 2); // harmless: the program sets no action that posts
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Arrivals, 0);
    QImage canvas = Canvas();
    EXPECT_TRUE(c.Bridge.DrawInto(canvas).isEmpty());
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

TEST(ObjectFiles, OnlyRegularFilesAreReadAndTheBodyAndNameOfAnObject)
{
    QTemporaryDir dir;
    const std::string fifo = dir.filePath("fifo").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, dir.path().toStdString(), std::string("/dev/zero")})
        EXPECT_EQ(ReadObjectFile(path), std::nullopt) << path;
    // After the 8-byte header, two nibbles a byte, the low one first.
    EXPECT_EQ(ObjectBody({'H', 'P', 'H', 'P', '4', '9', '-', 'W', 0x2C, 0xE4}), std::vector<uint8_t>({0xC, 0x2, 0x4, 0xE}));
    EXPECT_EQ(ObjectBody(std::vector<uint8_t>(8, 0xFF)), std::vector<uint8_t>());
    EXPECT_EQ(ObjectBody(std::vector<uint8_t>(7, 0xFF)), std::nullopt);
    EXPECT_EQ(ObjectName("/home/objs/GAME.LIB"), "GAME.LIB");
    EXPECT_EQ(ObjectName("GAME.LIB"), "GAME.LIB");
}

} // namespace
} // namespace pelrin
