// Frame conversion against pixels worked out here: the level's top five
// bits in each colour, and nothing read or written outside the frame's
// rows and the surface. (The display tests draw real frames at each scale.)
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

#include "helper/display/convert.h"

namespace {

using tessock::ConvertFrame;
using tessock::GrayPixel;

constexpr uint16_t Untouched = 0xBEEF;

TEST(ConvertFrame, LevelsBecomeFiveBitGraysInRedGreenAndBlue)
{
    EXPECT_EQ(GrayPixel(0), 0x0000);
    EXPECT_EQ(GrayPixel(255), 0x7FFF);
    EXPECT_EQ(GrayPixel(128), 0x4210);
    EXPECT_EQ(GrayPixel(7), 0x0000);
    EXPECT_EQ(GrayPixel(8), (1 << 10) | (1 << 5) | 1);
    EXPECT_EQ(GrayPixel(229), (28 << 10) | (28 << 5) | 28);
}

// A frame of 64 rows as the engine lends it: every byte a different level.
std::vector<uint8_t> Frame(uint32_t stride)
{
    std::vector<uint8_t> frame(size_t{64} * stride);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i * 37 + i / 7);
    return frame;
}

TEST(ConvertFrame, APictureWiderThanItsRowsOrTheSurfaceIsCut)
{
    // Stride 144 leaves 137 columns after a left offset of 7; a size that
    // does not match the frames must not read past the last row.
    constexpr uint32_t stride = 144;
    const std::vector<uint8_t> frame = Frame(stride);
    std::vector<uint16_t> surface(144 * 64, Untouched);
    ConvertFrame(frame.data(), 7, stride, 144, 200, 1, surface.data());
    EXPECT_EQ(surface[63 * 144 + 136], (frame[7 + 63 * stride + 136] >> 3) * 0x421);
    EXPECT_EQ(surface[63 * 144 + 137], Untouched);
    EXPECT_EQ(surface[0 * 144 + 143], Untouched);

    // Narrow frames and offsets past the row draw what fits, or nothing.
    const std::vector<uint8_t> narrow(64 * 16, 255);
    ConvertFrame(narrow.data(), 12, 16, 131, 64, 1, surface.data());
    EXPECT_EQ(surface[63 * 144 + 3], 0x7FFF);
    EXPECT_EQ(surface[63 * 144 + 4], (frame[7 + 63 * stride + 4] >> 3) * 0x421);
    std::vector<uint16_t> untouched(144 * 64, Untouched);
    ConvertFrame(narrow.data(), 16, 16, 131, 64, 1, untouched.data());
    ConvertFrame(frame.data(), 0, stride, 131, 64, 3, untouched.data());
    EXPECT_EQ(std::count(untouched.begin(), untouched.end(), Untouched), 144 * 64);
}

} // namespace
