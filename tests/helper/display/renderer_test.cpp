// The display renderer with the real engine: a Saturn program draws a known
// picture on the LCD, and a window that records what is blitted into it
// checks the pixels, the geometry, the frame hand-off and the counters.
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "helper/display/renderer.h"
#include "tests/helper/support/calculator.h"

namespace {

using namespace std::chrono_literals;
using test::Calculator;
using test::Io;
using test::Program;
using tessock::Renderer;

constexpr uint32_t PictureAddress = 0x20000;
constexpr uint32_t LineNibbles = 34; // 131 dots rounded up to bytes

// The picture: a dark dot where this holds.
bool Dark(uint32_t row, uint32_t column)
{
    return (row * 3 + column * 5) % 7 == 0 || column == 2 * row;
}

// Points the LCD at the picture, 64 lines of main area, and turns it on.
Program DrawPicture()
{
    Program p(0x01000);
    p.lc(5, Io).op("805").p(0);
    p.d1(Io + 0x20).lc(5, PictureAddress).op("145"); // DAT1=C A: display address
    p.d1(Io + 0x25).lc(3, 0).op("1553");             // DAT1=C X: no line offset
    p.d1(Io + 0x28).lc(2, 63).op("14D");             // DAT1=C B: line count 63
    p.d1(Io + 0x00).lc(1, 8).op("1550");             // DAT1=C P: on, left offset 0
    p.label("idle").goto_("idle");
    return p;
}

// The picture's dots, one bit each, lowest bit leftmost, set for dark.
Program PictureData()
{
    Program picture(PictureAddress);
    for (uint32_t row = 0; row < 64; ++row) {
        for (uint32_t nibble = 0; nibble < LineNibbles; ++nibble) {
            uint32_t bits = 0;
            for (uint32_t bit = 0; bit < 4; ++bit)
                bits |= Dark(row, 4 * nibble + bit) ? 1u << bit : 0;
            picture.imm(bits, 1);
        }
    }
    return picture;
}

struct Blit {
    uint32_t Pitch;
    int32_t X, Y;
    uint32_t Width, Height;
    std::vector<uint16_t> Pixels; // Width x Height, as copied
};

// A window that keeps every blit's geometry and the last one's pixels.
class RecordingWindow {
public:
    RecordingWindow() : Window{this, &OnBlit, &OnPost} {}

    int count() const { return Count.load(); }
    Blit last()
    {
        std::lock_guard lock(Lock);
        return Last;
    }
    bool waitForBlits(int count, std::chrono::milliseconds timeout = 10s)
    {
        return test::WaitUntil([&] { return Count.load() >= count; }, timeout);
    }
    // Waits for a blit whose pixels pass the check.
    template <typename Check>
    bool waitForPicture(Check check, std::chrono::milliseconds timeout = 10s)
    {
        return test::WaitUntil(
            [&] {
                std::lock_guard lock(Lock);
                return Count.load() > 0 && check(Last);
            },
            timeout);
    }

    KHWindow Window;
    std::atomic<int> DelayMs{0};

private:
    static void OnBlit(void* context, const uint16_t* pixels, uint32_t pitch, int32_t x, int32_t y, uint32_t width,
                       uint32_t height)
    {
        auto* self = static_cast<RecordingWindow*>(context);
        {
            std::lock_guard lock(self->Lock);
            Blit& blit = self->Last;
            blit = {pitch, x, y, width, height, {}};
            blit.Pixels.reserve(size_t{width} * height);
            for (uint32_t row = 0; row < height; ++row)
                blit.Pixels.insert(blit.Pixels.end(), pixels + size_t{row} * pitch, pixels + size_t{row} * pitch + width);
        }
        ++self->Count;
        if (const int delay = self->DelayMs.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    }
    static void OnPost(void*, uint32_t, uintptr_t, uintptr_t) {}

    std::mutex Lock;
    Blit Last{};
    std::atomic<int> Count{0};
};

// Whether the blit shows the picture at the scale, dark 0x0000, clear 0x7FFF.
bool ShowsPicture(const Blit& blit, uint32_t scale)
{
    if (blit.Width != 131 * scale || blit.Height != 64 * scale)
        return false;
    for (uint32_t y = 0; y < blit.Height; ++y) {
        for (uint32_t x = 0; x < blit.Width; ++x) {
            const uint16_t expected = Dark(y / scale, x / scale) ? 0x0000 : 0x7FFF;
            if (blit.Pixels[size_t{y} * blit.Width + x] != expected)
                return false;
        }
    }
    return true;
}

// The frames the engine can lend to a consumer that keeps them: four when
// every frame has come back.
size_t FreeFrames()
{
    static std::set<const uint8_t*> held;
    held.clear();
    KVSetDisplayHandler([](const uint8_t* frame, uint32_t, uint32_t) { held.insert(frame); });
    for (int refresh = 0; refresh < 8; ++refresh)
        KVForceRefresh();
    KVSetDisplayHandler(nullptr);
    for (const uint8_t* frame : held)
        KVDiscardFrame(frame);
    return held.size();
}

class Display : public ::testing::Test {
protected:
    void SetUp() override
    {
        M.load(DrawPicture());
        M.place(PictureData());
    }
    void TearDown() override
    {
        KVStop();
        KHSetDisplay(nullptr, 0, 0, 0, 0, 0);
    }

    Calculator M;
    RecordingWindow W;
};

TEST_F(Display, TheProgramsPictureArrivesAtScalesOneTwoAndFour)
{
    for (uint32_t scale : {1u, 2u, 4u}) {
        KVStop();
        KHSetDisplay(&W.Window, 42, 77, 131, 64, static_cast<int32_t>(scale));
        KVRun();
        EXPECT_TRUE(W.waitForPicture([&](const Blit& b) { return ShowsPicture(b, scale); })) << "scale " << scale;
        const Blit blit = W.last();
        EXPECT_EQ(blit.Pitch, 144 * scale);
        EXPECT_EQ(blit.X, 42);
        EXPECT_EQ(blit.Y, 77);
    }
}

TEST_F(Display, SizeZeroMeansTheCalculatorsLcdAndSmallerSizesDrawOnlyTheirPart)
{
    KHSetDisplay(&W.Window, -5, 300, 0, 0, 2);
    KVForceRefresh();
    ASSERT_TRUE(W.waitForBlits(1));
    Blit blit = W.last();
    EXPECT_EQ(blit.Width, 262u);
    EXPECT_EQ(blit.Height, 128u);
    EXPECT_EQ(blit.Pitch, 288u);
    EXPECT_EQ(blit.X, -5);
    EXPECT_EQ(blit.Y, 300);

    // 100 by 40: the blit covers that much, and the surface past it stays
    // as it was (all zero when created).
    KHSetDisplay(&W.Window, 0, 0, 100, 40, 1);
    for (int refresh = 0; refresh < 6; ++refresh)
        KVForceRefresh();
    ASSERT_TRUE(W.waitForBlits(2));
    test::WaitUntil([] { return Renderer.FramesDisplayed.load() >= 1; }, 5s);
    blit = W.last();
    EXPECT_EQ(blit.Width, 100u);
    EXPECT_EQ(blit.Height, 40u);
    std::lock_guard lock(Renderer.RenderLock);
    size_t beyond = 0;
    for (uint32_t y = 0; y < 64; ++y)
        for (uint32_t x = 0; x < 144; ++x)
            beyond += (x >= 100 || y >= 40) && Renderer.Surface[y * 144 + x] != 0;
    EXPECT_EQ(beyond, 0u);
}

TEST_F(Display, AnInvalidScaleATooLargeLcdOrNoWindowLeaveItDetached)
{
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 2);
    struct Setting {
        KHWindow* Window;
        uint32_t Width, Height;
        int32_t Scale;
    };
    for (const Setting& s : {Setting{&W.Window, 131, 64, 3}, Setting{&W.Window, 131, 64, 0},
                             Setting{&W.Window, 145, 64, 1}, Setting{&W.Window, 131, 65, 1},
                             Setting{nullptr, 131, 64, 2}}) {
        KHSetDisplay(s.Window, 42, 77, s.Width, s.Height, s.Scale);
        const uint32_t delivered = Renderer.FramesDelivered.load();
        KVForceRefresh();
        KHRefreshDisplay();
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(W.count(), 0) << "nothing drawn at scale " << s.Scale << ", " << s.Width << " by " << s.Height;
        EXPECT_EQ(Renderer.FramesDelivered.load(), delivered) << "no handler, no frames";
        EXPECT_FALSE(Renderer.DisplayAttached);
        EXPECT_EQ(Renderer.Surface, nullptr);
    }
    // A valid setting afterwards draws again.
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 4);
    KVForceRefresh();
    EXPECT_TRUE(W.waitForBlits(1));
    KHRefreshDisplay();
    EXPECT_TRUE(W.waitForBlits(2)) << "a refresh draws the surface again";
}

// The handler as the engine calls it, timed: how many frames it took and
// how many of those kept the execution thread for longer than a tenth of a
// second.
std::atomic<int> HandledFrames{0};
std::atomic<int> LongHandlings{0};

void TimedFrameHandler(const uint8_t* frame, uint32_t leftOffset, uint32_t stride)
{
    const auto start = std::chrono::steady_clock::now();
    tessock::DisplayFrameHandler(frame, leftOffset, stride);
    ++HandledFrames;
    LongHandlings += std::chrono::steady_clock::now() - start > 100ms;
}

TEST_F(Display, ASlowWindowNeverStallsTheEngineAndEveryFrameComesBack)
{
    // A window that takes 200 ms a blit: a handler that waited for the
    // renderer would keep the execution thread that long for most frames.
    W.DelayMs = 200;
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 2);
    KVSetDisplayHandler(&TimedFrameHandler);
    KVRun();
    ASSERT_TRUE(test::WaitUntil([] { return HandledFrames.load() >= 20; }, 20s));
    KVStop();
    EXPECT_LE(LongHandlings.load(), 1) << "of " << HandledFrames.load() << " frames";
    EXPECT_LT(W.count(), HandledFrames.load() / 2) << "frames that found the renderer drawing went straight back";
    W.DelayMs = 0;
    KHSetDisplay(nullptr, 0, 0, 0, 0, 0);
    EXPECT_EQ(FreeFrames(), 4u);
}

TEST_F(Display, OfTwoFramesHandedOverBeforeTheThreadWakesOnlyTheSecondIsDrawn)
{
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 1);
    for (int round = 0; round < 5; ++round) {
        const int blits = W.count();
        const uint32_t displayed = Renderer.FramesDisplayed.load();
        {
            // The render thread waits for the lock while this thread hands
            // over frame after frame (the handler runs here, inside the
            // refresh, and takes the lock again).
            std::lock_guard lock(Renderer.RenderLock);
            KVForceRefresh();
            KVForceRefresh();
            ASSERT_NE(Renderer.Pending.Frame, nullptr);
        }
        ASSERT_TRUE(W.waitForBlits(blits + 1));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(W.count(), blits + 1) << "one frame drawn";
        EXPECT_EQ(Renderer.FramesDisplayed.load(), displayed + 1);
    }
    // Five rounds replaced at least five frames: had one of them stayed
    // out, the engine would have fewer than four to lend.
    KHSetDisplay(nullptr, 0, 0, 0, 0, 0);
    EXPECT_EQ(FreeFrames(), 4u);
}

TEST_F(Display, DetachingGivesBackAFrameStillWaitingForTheRenderThread)
{
    for (int round = 0; round < 4; ++round) {
        KHSetDisplay(&W.Window, 42, 77, 131, 64, 1);
        std::lock_guard lock(Renderer.RenderLock);
        KVForceRefresh();
        ASSERT_NE(Renderer.Pending.Frame, nullptr);
        KHSetDisplay(nullptr, 0, 0, 0, 0, 0); // on this thread, the lock taken again
        EXPECT_EQ(Renderer.Pending.Frame, nullptr);
    }
    EXPECT_EQ(FreeFrames(), 4u);
}

TEST_F(Display, TheCountersLatchOnceASecondAndClearWithoutFrames)
{
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 2);
    EXPECT_EQ(KHGetRenderedFPS(), 0u);
    EXPECT_EQ(KHGetDisplayedFPS(), 0u);
    KVRun();
    ASSERT_TRUE(test::WaitUntil([] { return KHGetRenderedFPS() > 0; }, 5s)) << "latched a second after attaching";
    // What was shown of what was delivered: a frame may be delivered in one
    // second and shown in the next, and a latch may fall between the reads.
    const uint32_t rendered = KHGetRenderedFPS(), displayed = KHGetDisplayedFPS();
    EXPECT_LE(rendered, 70u);
    EXPECT_GE(displayed, 1u);
    EXPECT_LE(displayed, rendered + 2);
    KVStop();
    EXPECT_TRUE(test::WaitUntil([] { return KHGetRenderedFPS() == 0 && KHGetDisplayedFPS() == 0; }, 4s))
        << "about a second after the last frame";

    KVRun();
    ASSERT_TRUE(test::WaitUntil([] { return KHGetRenderedFPS() > 0; }, 5s));
    KVStop();
    KHSetDisplay(&W.Window, 42, 77, 131, 64, 2);
    EXPECT_EQ(KHGetRenderedFPS(), 0u) << "attaching clears them";
}

} // namespace
