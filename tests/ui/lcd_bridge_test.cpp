// The LCD's way from the display library's threads into the window's
// picture: converted exactly, drawn at once on the GUI thread, carried by
// one queued call from any other thread however many blits come meanwhile.
#include <QCoreApplication>
#include <QImage>
#include <QObject>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "ui/lcd_bridge.h"

namespace pelrin {
namespace {

// A picture as the library would blit it: width x height RGB555 pixels in
// rows of pitch pixels, each pixel from its position.
struct Picture {
    Picture(uint32_t width, uint32_t height, uint32_t pitch, uint16_t (*pixel)(uint32_t x, uint32_t y))
        : Width(width), Height(height), Pitch(pitch), Pixels(size_t(pitch) * height, 0xFFFF)
    {
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                Pixels[y * pitch + x] = pixel(x, y);
    }
    void BlitTo(LcdBridge& bridge, int32_t x, int32_t y) const
    {
        bridge.Window()->blit(bridge.Window()->context, Pixels.data(), Pitch, x, y, Width, Height);
    }
    uint32_t Width, Height, Pitch;
    std::vector<uint16_t> Pixels;
};

uint16_t Level(uint32_t level)
{
    return static_cast<uint16_t>(level * 0x421);
}

// A picture of one grey level throughout.
Picture Uniform(uint32_t width, uint32_t height, uint32_t pitch, uint32_t level)
{
    Picture picture(width, height, pitch, [](uint32_t, uint32_t) { return uint16_t(0); });
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            picture.Pixels[y * pitch + x] = Level(level);
    return picture;
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

TEST(LcdBridge, RgbFiveFiveFiveBecomesEightBitsPerChannel)
{
    Counting c;
    const Picture colours(6, 1, 8, [](uint32_t x, uint32_t) -> uint16_t {
        const uint16_t row[] = {0x0000, 0x7FFF, 0x4210, 0x7C00, 0x03E0, 0x001F};
        return row[x];
    });
    colours.BlitTo(c.Bridge, 10, 20);
    QImage canvas = Canvas();
    EXPECT_EQ(c.Bridge.DrawInto(canvas), QRect(10, 20, 6, 1));
    EXPECT_EQ(canvas.pixel(10, 20), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(11, 20), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(12, 20), qRgb(132, 132, 132)); // level 16: 10000 -> 10000100
    EXPECT_EQ(canvas.pixel(13, 20), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(14, 20), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(15, 20), qRgb(0, 0, 255));
    // Only the picture's rectangle is drawn; the pixels past its width in
    // each row of the library's bitmap are not.
    EXPECT_EQ(canvas.pixel(16, 20), qRgb(1, 2, 3));
    EXPECT_EQ(canvas.pixel(10, 21), qRgb(1, 2, 3));
    EXPECT_EQ(canvas.pixel(9, 20), qRgb(1, 2, 3));
}

TEST(LcdBridge, TheLcdAtScaleTwoLandsAt42By77)
{
    Counting c;
    // 262 x 128 of a 288-pixel-wide bitmap, a diagonal gradient.
    const Picture lcd(262, 128, 288, [](uint32_t x, uint32_t y) { return Level((x + y) % 32); });
    lcd.BlitTo(c.Bridge, 42, 77);
    QImage canvas = Canvas();
    EXPECT_EQ(c.Bridge.DrawInto(canvas), QRect(42, 77, 262, 128));
    for (int y = 0; y < 128; y += 7) {
        for (int x = 0; x < 262; x += 5) {
            const int level = (x + y) % 32;
            const int v = (level << 3) | (level >> 2);
            ASSERT_EQ(canvas.pixel(42 + x, 77 + y), qRgb(v, v, v)) << x << "," << y;
        }
    }
    EXPECT_EQ(canvas.pixel(41, 77), qRgb(1, 2, 3));
    EXPECT_EQ(canvas.pixel(304, 77), qRgb(1, 2, 3));
    EXPECT_EQ(canvas.pixel(42, 205), qRgb(1, 2, 3));
}

TEST(LcdBridge, ABlitOnTheGuiThreadArrivesAtOnce)
{
    Counting c;
    const Picture one(1, 1, 2, [](uint32_t, uint32_t) { return Level(31); });
    one.BlitTo(c.Bridge, 0, 0);
    EXPECT_EQ(c.Arrivals, 1);
    one.BlitTo(c.Bridge, 0, 0);
    EXPECT_EQ(c.Arrivals, 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Arrivals, 2); // nothing queued besides
}

TEST(LcdBridge, BlitsFromAnotherThreadArriveOnceThroughTheQueueWithTheLatestPicture)
{
    Counting c;
    std::thread render([&] {
        for (uint32_t level = 0; level < 32; ++level)
            Uniform(4, 2, 4, level).BlitTo(c.Bridge, 5, 6);
    });
    render.join();
    EXPECT_EQ(c.Arrivals, 0); // nothing touched on the render thread
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Arrivals, 1);
    QImage canvas = Canvas();
    EXPECT_EQ(c.Bridge.DrawInto(canvas), QRect(5, 6, 4, 2));
    EXPECT_EQ(canvas.pixel(8, 7), qRgb(255, 255, 255));

    // The queue is free again for the next blit.
    std::thread([&] { Uniform(4, 2, 4, 0).BlitTo(c.Bridge, 5, 6); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Arrivals, 2);
    c.Bridge.DrawInto(canvas);
    EXPECT_EQ(canvas.pixel(8, 7), qRgb(0, 0, 0));
}

TEST(LcdBridge, DrawingWhileTheRenderThreadBlitsNeverTearsAPicture)
{
    Counting c;
    std::atomic<bool> done{false};
    std::thread render([&] {
        const Picture dark = Uniform(262, 128, 288, 0);
        const Picture light = Uniform(262, 128, 288, 31);
        for (uint32_t n = 1; n <= 300; ++n)
            (n % 2 ? dark : light).BlitTo(c.Bridge, 42, 77);
        done = true;
    });
    QImage canvas = Canvas();
    while (!done) {
        QCoreApplication::processEvents();
        c.Bridge.DrawInto(canvas);
        // Each picture is whole: one level throughout.
        const QRgb first = canvas.pixel(42, 77);
        ASSERT_EQ(canvas.pixel(303, 204), first);
        ASSERT_EQ(canvas.pixel(170, 140), first);
    }
    render.join();
    QCoreApplication::processEvents();
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
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Arrivals, 0);
    QImage canvas = Canvas();
    EXPECT_TRUE(c.Bridge.DrawInto(canvas).isEmpty());
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(1, 2, 3));
    // Posting is harmless: the program sets no action that posts.
    window->post(window->context, 0x400, 1, 2);
}

} // namespace
} // namespace pelrin
