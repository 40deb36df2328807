// A Saturn program draws a known picture on the LCD; a window that records its blits checks the pixels, the
// geometry, the frame hand-off and the counters.
#include <gtest/gtest.h>

#include "helper/display/convert.h"
#include "helper/display/renderer.h"
#include "tests/helper/support/calculator.h"

namespace {

using namespace std::chrono_literals;
using tessock::Renderer;
using test::Io;

bool Dark(uint32_t row, uint32_t column) { return (row * 3 + column * 5) % 7 == 0 || column == 2 * row; }

// Whether the blit shows the picture at the scale, dark 0x0000, clear 0x7FFF.
bool ShowsPicture(const test::Blit& blit, uint32_t scale)
{
    bool shows = blit.Width == 131 * scale && blit.Height == 64 * scale && blit.Pitch == 144 * scale;
    for (uint32_t y = 0; shows && y < blit.Height; ++y)
        for (uint32_t x = 0; shows && x < blit.Width; ++x)
            shows = blit.Pixels[size_t{y} * blit.Width + x] == (Dark(y / scale, x / scale) ? 0x0000 : 0x7FFF);
    return shows;
}

class Display : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The LCD on at the picture, 64 lines; one bit a dot, lowest leftmost, 34 nibbles a line.
        test::Program p(0x01000), picture(0x20000);
        p.lc(5, Io).op("805").p(0).d1(Io + 0x20).lc(5, 0x20000).op("145"); // the address
        p.d1(Io + 0x25).lc(3, 0).op("1553").d1(Io + 0x28).lc(2, 63).op("14D"); // offset, lines
        p.d1(Io + 0x00).lc(1, 8).op("1550").label("idle").goto_("idle");     // on
        M.load(p);
        for (uint32_t row = 0; row < 64; ++row)
            for (uint32_t dot = 0; dot < 136; dot += 4)
                picture.imm(Dark(row, dot) | Dark(row, dot + 1) << 1 | Dark(row, dot + 2) << 2 | Dark(row, dot + 3) << 3,
                            1);
        M.place(picture);
    }
    void TearDown() override
    {
        KVStop();
        KHSetDisplay(nullptr, 0, 0, 0, 0, 0);
    }
    bool waitForBlits(int count) { return test::WaitUntil([&] { return W.Blits.load() >= count; }, 10s); }
    // A forced frame that finds the render thread still busy with the one
    // before goes straight back undrawn: force another until one is drawn.
    bool refreshUntilBlits(int count)
    {
        return test::WaitUntil([&] { KVForceRefresh(); return W.Blits.load() >= count; }, 10s);
    }

    test::Calculator M;
    test::RecordingWindow W;
};

TEST_F(Display, ThePictureArrivesAtEachScaleAndOnlyTheLcdsSizeIsDrawn)
{
    for (uint32_t scale : {1u, 2u, 4u}) { // size 0 is the calculator's 131 by 64
        KVStop();
        KHSetDisplay(&W.Window, 42, 77, scale == 4 ? 0 : 131, scale == 4 ? 0 : 64, static_cast<int32_t>(scale));
        KVRun();
        EXPECT_TRUE(test::WaitUntil([&] { return W.Blits.load() > 0 && ShowsPicture(W.last(), scale); }, 10s)) << scale;
        EXPECT_EQ(std::make_pair(W.last().X, W.last().Y), std::make_pair(42, 77));
    }
    EXPECT_EQ(tessock::GrayPixel(128), 0x4210);
    // A dot that changes is drawn with the very next frame (dot 0 of row 0, dark, turns clear).
    KVStop();
    const int shown = W.Blits.load();
    M.Rom[0x20000] ^= 1;
    ASSERT_TRUE(refreshUntilBlits(shown + 1));
    EXPECT_NE(W.last().Pixels[0], 0x0000);
    M.Rom[0x20000] ^= 1;
    // 100 by 40: the blit covers that much, and the surface past it stays zero.
    KHSetDisplay(&W.Window, -5, 300, 100, 40, 1);
    const int blits = W.Blits.load();
    ASSERT_TRUE(refreshUntilBlits(blits + 1));
    const test::Blit last = W.last();
    EXPECT_EQ(std::make_tuple(last.Width, last.Height, last.X, last.Y), std::make_tuple(100u, 40u, -5, 300));
    std::lock_guard lock(Renderer.RenderLock);
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 144; ++x)
            ASSERT_TRUE((x < 100 && y < 40) || Renderer.Surface[y * 144 + x] == 0) << x << ", " << y;
}

TEST_F(Display, AnInvalidScaleATooLargeLcdOrNoWindowLeaveItDetached)
{
    using Setting = std::tuple<KHWindow*, uint32_t, uint32_t, int32_t>; // window, width, height, scale
    for (const auto& [window, width, height, scale] : {Setting{&W.Window, 131, 64, 3}, {&W.Window, 131, 64, 0},
                                                       {&W.Window, 145, 64, 1}, {&W.Window, 131, 65, 1},
                                                       {nullptr, 131, 64, 2}}) {
        KHSetDisplay(&W.Window, 42, 77, 131, 64, 2);
        KHSetDisplay(window, 42, 77, width, height, scale);
        const uint32_t delivered = Renderer.FramesDelivered.load();
        KVForceRefresh();
        KHRefreshDisplay();
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(W.Blits.load(), 0) << scale << ", " << width << " by " << height;
        EXPECT_EQ(Renderer.FramesDelivered.load(), delivered) << "no handler, no frames";
        EXPECT_EQ(Renderer.Surface, nullptr);
    }
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 4);
    KVForceRefresh();
    EXPECT_TRUE(waitForBlits(1));
    // A refresh finds the render lock busy while the render thread is still
    // leaving its blit, and then draws nothing: the next one draws.
    EXPECT_TRUE(test::WaitUntil([&] { KHRefreshDisplay(); return W.Blits.load() >= 2; }, 10s))
        << "a refresh draws the surface again";

    // Conversion reads and writes only inside the frame's rows and the surface.
    std::vector<uint8_t> frame(64 * 144);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i * 37 + i / 7);
    std::vector<uint16_t> surface(144 * 64, 0xBEEF);
    tessock::ConvertFrame(frame.data(), 7, 144, 144, 200, 1, surface.data()); // 137 columns after the offset
    EXPECT_EQ(surface[63 * 144 + 136], (frame[7 + 63 * 144 + 136] >> 3) * 0x421);
    tessock::ConvertFrame(frame.data(), 144, 144, 131, 64, 1, surface.data());
    tessock::ConvertFrame(frame.data(), 0, 144, 131, 64, 3, surface.data());
    EXPECT_EQ(std::count(surface.begin(), surface.end(), 0xBEEF), 144 * 64 - 137 * 64);
}

// Frames the handler took, and how many of them kept the execution thread for longer than 0.1 s.
std::atomic<int> HandledFrames{0}, LongHandlings{0};

TEST_F(Display, ASlowWindowNeverStallsTheEngineAndEveryFrameComesBackOnce)
{
    // 200 ms a blit: a handler that waited for the renderer would keep the execution thread that long.
    W.DelayMs = 200;
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 2);
    KVSetDisplayHandler([](const uint8_t* frame, uint32_t leftOffset, uint32_t stride) {
        const auto start = std::chrono::steady_clock::now();
        tessock::DisplayFrameHandler(frame, leftOffset, stride);
        LongHandlings += std::chrono::steady_clock::now() - start > 100ms;
        ++HandledFrames;
    });
    KVRun();
    ASSERT_TRUE(test::WaitUntil([] { return HandledFrames.load() >= 20; }, 20s));
    KVStop();
    EXPECT_LE(LongHandlings.load(), 1) << "of " << HandledFrames.load();
    EXPECT_LT(W.Blits.load(), HandledFrames.load() / 2) << "frames that found the renderer drawing went straight back";
    W.DelayMs = 0;
    // Of two frames handed over before the thread wakes only the second is drawn (the handler runs inside the
    // refresh, and takes the lock again); a frame still waiting when the display goes is given back.
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 1);
    for (int round = 0; round < 5; ++round) {
        const int blits = W.Blits.load();
        const uint32_t displayed = Renderer.FramesDisplayed.load();
        {
            std::lock_guard lock(Renderer.RenderLock);
            KVForceRefresh();
            KVForceRefresh();
        }
        ASSERT_TRUE(waitForBlits(blits + 1));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(W.Blits.load(), blits + 1) << "one frame drawn";
        EXPECT_EQ(Renderer.FramesDisplayed.load(), displayed + 1);
        std::lock_guard lock(Renderer.RenderLock);
        KVForceRefresh();
        KHSetDisplay(&W.Window, 42, 77, 131, 64, 1);
    }
    KHSetDisplay(nullptr, 0, 0, 0, 0, 0);
    EXPECT_EQ(test::FreeFrames(), 4u);
}

TEST_F(Display, TheCountersLatchOnceASecondAndClearWithoutFramesOrOnAttaching)
{
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 2);
    EXPECT_EQ(KHGetRenderedFPS() + KHGetDisplayedFPS(), 0u);
    KVRun();
    ASSERT_TRUE(test::WaitUntil([] { return KHGetRenderedFPS() > 0; }, 5s)) << "latched a second after attaching";
    // A frame may be delivered in one second and shown in the next, and a latch may fall between the reads.
    const uint32_t rendered = KHGetRenderedFPS(), displayed = KHGetDisplayedFPS();
    EXPECT_LE(rendered, 70u);
    EXPECT_GE(displayed, 1u);
    EXPECT_LE(displayed, rendered + 2);
    // The picture has long stopped changing a second later: its frames are on the screen already, so none is
    // drawn again, and they count as displayed all the same.
    const int blits = W.Blits.load();
    std::this_thread::sleep_for(1100ms);
    EXPECT_EQ(W.Blits.load(), blits);
    EXPECT_GE(KHGetDisplayedFPS(), 1u);
    KVStop();
    EXPECT_TRUE(test::WaitUntil([] { return KHGetRenderedFPS() + KHGetDisplayedFPS() == 0; }, 4s));
    KVRun();
    ASSERT_TRUE(test::WaitUntil([] { return KHGetRenderedFPS() > 0; }, 5s));
    KVStop();
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 2);
    EXPECT_EQ(KHGetRenderedFPS(), 0u);
}

} // namespace
