#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "engine/core/lcd.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Machine;

namespace {

std::vector<const uint8_t*> Delivered;
uint32_t DeliveredLeftOffset;

void KeepFrame(const uint8_t* frame, uint32_t leftOffset, uint32_t stride)
{
    Delivered.push_back(frame);
    DeliveredLeftOffset = leftOffset;
    EXPECT_EQ(stride, DisplayGeometry.Stride);
}

void WriteNibbles(uint32_t offset, uint32_t value, unsigned count)
{
    for (unsigned i = 0; i < count; ++i)
        WriteDisplayRegister(offset + i, (value >> (4 * i)) & 0xF);
}

constexpr uint32_t Main = 0x10000;
constexpr uint32_t Menu = 0x20000;

// Fresh clear frames of width 131 with the registers set, the first (empty)
// frame ended so that the registers are latched for the next one.
void StartDisplay(uint32_t lineCount, uint32_t leftOffset, uint32_t address = Main, uint32_t lineOffset = 0)
{
    KVSetDisplayHandler(nullptr);
    Delivered.clear();
    WriteDisplayRegister(0x00, 8 | leftOffset);
    WriteNibbles(0x20, address, 5);
    WriteNibbles(0x25, lineOffset, 3);
    WriteNibbles(0x28, lineCount, 2);
    WriteNibbles(0x30, Menu, 5);
    KVSetDisplaySize(131, 64);
    DisplayTick();
}

void RenderLines(int count)
{
    for (int line = 0; line < count; ++line)
        DisplayTick();
}

std::vector<uint8_t> OutputFrame(int index)
{
    const uint8_t* frame = DisplayGeometry.OutputFrames[index].load();
    return std::vector<uint8_t>(frame, frame + 64 * 144);
}

TEST(Lcd, FramesShowMainAndMenuLinesOfDisplayMemory)
{
    WriteNibbles(0x25, 0xFFE, 3);
    EXPECT_EQ(LineOffset, -2);
    const struct {
        uint32_t LineCount, LeftOffset, Address, LineOffset, Step;
    } cases[] = {{55, 0, Main, 0, 34}, {55, 4, Main, 10, 46}, {63, 0, Main + 1, 0xFFF, 32}};
    // 55: 56 main lines, then 8 menu lines written at the left offset, not
    // scrolled. A left offset of 4 or more reads two more nibbles per main
    // line but the last; a line offset of -1 is walked as -2, an odd address
    // as even.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Step);
        Machine m;
        StartDisplay(c.LineCount, c.LeftOffset, c.Address, c.LineOffset);
        KVSetDisplayHandler(KeepFrame);
        for (uint32_t a = 0; a < 0x1000; ++a) {
            m.Rom[Main + a] = static_cast<uint8_t>(((Main + a) * 2654435761u) >> 28);
            m.Rom[Menu + a] = static_cast<uint8_t>(((Menu + a) * 2246822519u) >> 28);
        }
        // Over clear history a dark dot shows as 178 in the first frame.
        std::vector<uint8_t> expected(64 * 144, 255);
        for (uint32_t row = 0; row < 64; ++row) {
            const bool main = row <= c.LineCount;
            const uint32_t address = main ? Main + c.Step * row : Menu + 34 * (row - c.LineCount - 1);
            const uint32_t nibbles = main && row < c.LineCount && c.LeftOffset >= 4 ? 36 : 34;
            const uint32_t column = main ? 0 : c.LeftOffset;
            for (uint32_t dot = 0; dot < 4 * nibbles; ++dot) {
                if ((m.Rom[address + dot / 4] >> (dot % 4)) & 1)
                    expected[row * 144 + column + dot] = 178;
            }
        }
        // A left offset written mid-frame counts from the next frame on.
        RenderLines(30);
        WriteDisplayRegister(0x00, 8 | 3);
        RenderLines(34);
        ASSERT_EQ(Delivered, std::vector<const uint8_t*>{DisplayGeometry.OutputFrames[0].load()});
        EXPECT_EQ(DeliveredLeftOffset, c.LeftOffset);
        EXPECT_EQ(OutputFrame(0), expected);
    }
}

TEST(Lcd, BlendFollowsTheSlowLiquidCrystal)
{
    Machine m;
    StartDisplay(63, 0);
    // Without a handler every frame is composed again into frame 0.
    uint8_t* shown = DisplayGeometry.OutputFrames[0].load();
    std::vector<int> seen;
    for (int frame = 0; frame < 9; ++frame) {
        m.Rom[Main] = frame < 4 ? 0x1 : 0x0; // the first dot of line 0
        RenderLines(64);
        seen.push_back(shown[0]);
    }
    EXPECT_EQ(seen, (std::vector<int>{178, 94, 9, 0, 76, 160, 245, 254, 254}));

    // Clear now and in the two frames before, over 0, 255 and 254.
    shown[0] = 0, shown[1] = 255, shown[2] = 254;
    RenderLines(64);
    EXPECT_EQ(std::vector<int>(shown, shown + 3), (std::vector<int>{229, 255, 254}));
    for (int frame = 1; frame < 4; ++frame)
        EXPECT_EQ(OutputFrame(frame), std::vector<uint8_t>(64 * 144, 255));
}

TEST(Lcd, KeptFramesStopDeliveryUntilOneComesBack)
{
    Machine m;
    StartDisplay(63, 0);
    KVSetDisplayHandler(KeepFrame);
    RenderLines(64 * 6);
    ASSERT_EQ(Delivered.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Delivered[i], DisplayGeometry.OutputFrames[i].load());

    // A lent frame is not drawn into; foreign addresses given back change nothing.
    m.Rom[Main] = 0xF;
    const std::vector<uint8_t> lent = OutputFrame(3);
    static const uint8_t elsewhere = 0;
    KVDiscardFrame(&elsewhere);
    KVDiscardFrame(nullptr);
    RenderLines(64);
    EXPECT_EQ(OutputFrame(3), lent);
    EXPECT_EQ(Delivered.size(), 4u);

    KVDiscardFrame(Delivered[1]);
    KVDiscardFrame(Delivered[1]);
    RenderLines(64 * 2);
    ASSERT_EQ(Delivered.size(), 5u);
    EXPECT_EQ(Delivered[4], Delivered[1]);

    // A consumer that gives each frame back inside the call gets them in turn.
    StartDisplay(63, 0);
    KVSetDisplayHandler([](const uint8_t* frame, uint32_t leftOffset, uint32_t stride) {
        KeepFrame(frame, leftOffset, stride);
        KVDiscardFrame(frame);
    });
    RenderLines(64 * 5);
    ASSERT_EQ(Delivered.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Delivered[i], DisplayGeometry.OutputFrames[i % 4].load());
}

TEST(Lcd, DisplayOffStopsTicksButNotAForcedRefresh)
{
    Machine m;
    StartDisplay(63, 0);
    KVSetDisplayHandler(KeepFrame);
    RenderLines(5);
    WriteDisplayRegister(0x00, 0);
    RenderLines(64 * 3);
    EXPECT_EQ(std::tuple(LineCounter, Delivered.size()), std::tuple(5u, 0u));
    EXPECT_EQ(ReadDisplayRegister(0x29) << 4 | ReadDisplayRegister(0x28), 0x3Au) << "the counter's complement";

    // The frame in progress is finished, then one whole frame follows; not
    // while the engine runs, nor without frames.
    KVForceRefresh();
    EXPECT_EQ(std::tuple(LineCounter, Delivered.size()), std::tuple(0u, 2u));
    KVRun();
    KVForceRefresh();
    KVStop();
    FreeDisplayBuffers();
    WriteDisplayRegister(0x00, 8);
    KVForceRefresh();
    DisplayTick();
    EXPECT_EQ(Delivered.size(), 2u);
}

TEST(Lcd, OddSizesAndLineCountsStayInsideTheFrames)
{
    Machine m;
    StartDisplay(0, 7);
    for (auto [width, height] : {std::pair{0u, 64u}, {4097u, 64u}, {131u, 0u}, {131u, 5000u}})
        KVSetDisplaySize(width, height);
    EXPECT_EQ(DisplayGeometry.Width + DisplayGeometry.Stride, 131u + 144u) << "refused";

    // LineCount 0 with a left offset of 7 writes 36-nibble lines from
    // column 7: past the row's end unless clipped.
    for (uint32_t a = 0; a < 0x1000; ++a)
        m.Rom[Main + a] = 0xF;
    RenderLines(64);
    const std::vector<uint8_t> frame = OutputFrame(0);
    for (uint32_t row = 1; row < 64; ++row) {
        EXPECT_EQ(std::vector<uint8_t>(&frame[row * 144], &frame[row * 144 + 8]),
                  (std::vector<uint8_t>{255, 255, 255, 255, 255, 255, 255, 178}));
    }

    // The renderer writes 64 lines whatever height the consumer reads.
    KVSetDisplaySize(16, 10);
    EXPECT_EQ(DisplayGeometry.Stride << 8 | DisplayGeometry.Rows, 24u << 8 | 64u);
    RenderLines(64);
}

} // namespace
