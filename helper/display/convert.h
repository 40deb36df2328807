// Engine frames (one byte per dot, 0 dark to 255 clear) into the display
// surface: a bitmap of RGB555 gray pixels, 144 x scale by 64 x scale, top
// row first.
#pragma once

#include <cstdint>

namespace tessock {

// The largest LCD the surface holds.
inline constexpr uint32_t SurfaceColumns = 144;
inline constexpr uint32_t SurfaceRows = 64;

// The top five bits of the level in red, green and blue.
constexpr uint16_t GrayPixel(uint8_t level)
{
    return static_cast<uint16_t>((level >> 3) * 0x421);
}

constexpr bool IsSurfaceScale(int32_t scale)
{
    return scale == 1 || scale == 2 || scale == 4;
}

// Pixels from one row of the surface to the next.
constexpr uint32_t SurfacePitch(int32_t scale)
{
    return SurfaceColumns * static_cast<uint32_t>(scale);
}

// Converts width x height dots of the frame, each row read from column
// leftOffset of its stride bytes, into scale x scale blocks of the surface
// (scale 1, 2 or 4; anything else draws nothing). Only what lies inside
// both the frame's rows and the surface is read or written; the rest of
// the surface keeps its pixels.
void ConvertFrame(const uint8_t* frame, uint32_t leftOffset, uint32_t stride, uint32_t width, uint32_t height,
                  int32_t scale, uint16_t* surface);

// Whether converting the frame would leave the surface as it is: every dot
// that ConvertFrame would draw has its gray level there already. Dots that
// differ only below the top five bits look the same.
bool SurfaceShowsFrame(const uint8_t* frame, uint32_t leftOffset, uint32_t stride, uint32_t width, uint32_t height,
                       int32_t scale, const uint16_t* surface);

} // namespace tessock
