#include "helper/display/convert.h"

#include <algorithm>
#include <cstring>

namespace tessock {

namespace {

// Each scale is written out with its own fixed stores: one pixel per dot,
// or the pixel two or four times over. The first row of a block is
// converted and the others copied from it. The frame and the surface never
// overlap, which lets the compiler convert many dots at once.

void ConvertRow1(const uint8_t* __restrict in, uint16_t* __restrict out, uint32_t width)
{
    for (uint32_t column = 0; column < width; ++column)
        out[column] = GrayPixel(in[column]);
}

void ConvertRow2(const uint8_t* __restrict in, uint16_t* __restrict out, uint32_t width)
{
    for (uint32_t column = 0; column < width; ++column) {
        const uint16_t pixel = GrayPixel(in[column]);
        out[2 * column] = pixel;
        out[2 * column + 1] = pixel;
    }
}

void ConvertRow4(const uint8_t* __restrict in, uint16_t* __restrict out, uint32_t width)
{
    for (uint32_t column = 0; column < width; ++column) {
        const uint16_t pixel = GrayPixel(in[column]);
        out[4 * column] = pixel;
        out[4 * column + 1] = pixel;
        out[4 * column + 2] = pixel;
        out[4 * column + 3] = pixel;
    }
}

void ConvertScale1(const uint8_t* dots, uint32_t stride, uint32_t width, uint32_t height, uint16_t* surface)
{
    constexpr uint32_t pitch = SurfacePitch(1);
    for (uint32_t row = 0; row < height; ++row)
        ConvertRow1(dots + size_t{row} * stride, surface + size_t{row} * pitch, width);
}

void ConvertScale2(const uint8_t* dots, uint32_t stride, uint32_t width, uint32_t height, uint16_t* surface)
{
    constexpr uint32_t pitch = SurfacePitch(2);
    for (uint32_t row = 0; row < height; ++row) {
        uint16_t* top = surface + size_t{2 * row} * pitch;
        ConvertRow2(dots + size_t{row} * stride, top, width);
        std::memcpy(top + pitch, top, size_t{2} * width * sizeof(uint16_t));
    }
}

void ConvertScale4(const uint8_t* dots, uint32_t stride, uint32_t width, uint32_t height, uint16_t* surface)
{
    constexpr uint32_t pitch = SurfacePitch(4);
    for (uint32_t row = 0; row < height; ++row) {
        uint16_t* top = surface + size_t{4 * row} * pitch;
        ConvertRow4(dots + size_t{row} * stride, top, width);
        for (uint32_t line = 1; line < 4; ++line)
            std::memcpy(top + line * pitch, top, size_t{4} * width * sizeof(uint16_t));
    }
}

// The engine's frame has at least 64 rows of stride bytes; a picture wider
// than the row leaves its left offset room for is cut there, as anything
// beyond the surface is.
void ClipToFrameAndSurface(uint32_t leftOffset, uint32_t stride, uint32_t& width, uint32_t& height)
{
    const uint32_t room = stride > leftOffset ? stride - leftOffset : 0;
    width = std::min({width, room, SurfaceColumns});
    height = std::min(height, SurfaceRows);
}

} // namespace

void ConvertFrame(const uint8_t* frame, uint32_t leftOffset, uint32_t stride, uint32_t width, uint32_t height,
                  int32_t scale, uint16_t* surface)
{
    ClipToFrameAndSurface(leftOffset, stride, width, height);
    const uint8_t* dots = frame + leftOffset;
    switch (scale) {
    case 1: ConvertScale1(dots, stride, width, height, surface); break;
    case 2: ConvertScale2(dots, stride, width, height, surface); break;
    case 4: ConvertScale4(dots, stride, width, height, surface); break;
    default: break;
    }
}

bool SurfaceShowsFrame(const uint8_t* frame, uint32_t leftOffset, uint32_t stride, uint32_t width, uint32_t height,
                       int32_t scale, const uint16_t* surface)
{
    if (!IsSurfaceScale(scale))
        return true; // nothing would be drawn
    ClipToFrameAndSurface(leftOffset, stride, width, height);
    // Conversion fills each dot's block with one pixel: its top-left one
    // stands for the block.
    const uint32_t step = static_cast<uint32_t>(scale);
    const size_t rowPitch = size_t{SurfacePitch(scale)} * step;
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* in = frame + leftOffset + size_t{row} * stride;
        const uint16_t* out = surface + row * rowPitch;
        for (uint32_t column = 0; column < width; ++column) {
            if (out[column * step] != GrayPixel(in[column]))
                return false;
        }
    }
    return true;
}

} // namespace tessock
