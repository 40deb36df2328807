#include "helper/display/convert.h"

#include <algorithm>
#include <cstring>

namespace tessock {

namespace {

// Each scale is written out with its own fixed stores: a 16-bit pixel, the
// pixel twice as a 32-bit word in each of two rows, or four times as a
// 64-bit word in each of four rows.

void ConvertScale1(const uint8_t* dots, uint32_t stride, uint32_t width, uint32_t height, uint16_t* surface)
{
    constexpr uint32_t pitch = SurfacePitch(1);
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* in = dots + size_t{row} * stride;
        uint16_t* out = surface + size_t{row} * pitch;
        for (uint32_t column = 0; column < width; ++column)
            out[column] = GrayPixel(in[column]);
    }
}

void ConvertScale2(const uint8_t* dots, uint32_t stride, uint32_t width, uint32_t height, uint16_t* surface)
{
    constexpr uint32_t pitch = SurfacePitch(2);
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* in = dots + size_t{row} * stride;
        uint16_t* top = surface + size_t{2 * row} * pitch;
        uint16_t* bottom = top + pitch;
        for (uint32_t column = 0; column < width; ++column) {
            const uint32_t pair = GrayPixel(in[column]) * 0x00010001u;
            std::memcpy(top + 2 * column, &pair, sizeof pair);
            std::memcpy(bottom + 2 * column, &pair, sizeof pair);
        }
    }
}

void ConvertScale4(const uint8_t* dots, uint32_t stride, uint32_t width, uint32_t height, uint16_t* surface)
{
    constexpr uint32_t pitch = SurfacePitch(4);
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* in = dots + size_t{row} * stride;
        uint16_t* out = surface + size_t{4 * row} * pitch;
        for (uint32_t column = 0; column < width; ++column) {
            const uint64_t quad = GrayPixel(in[column]) * 0x0001000100010001u;
            for (uint32_t line = 0; line < 4; ++line)
                std::memcpy(out + line * pitch + 4 * column, &quad, sizeof quad);
        }
    }
}

} // namespace

void ConvertFrame(const uint8_t* frame, uint32_t leftOffset, uint32_t stride, uint32_t width, uint32_t height,
                  int32_t scale, uint16_t* surface)
{
    // The engine's frame has at least 64 rows of stride bytes; a picture
    // wider than the row leaves its left offset room for is cut there, as
    // anything beyond the surface is.
    const uint32_t room = stride > leftOffset ? stride - leftOffset : 0;
    width = std::min({width, room, SurfaceColumns});
    height = std::min(height, SurfaceRows);
    const uint8_t* dots = frame + leftOffset;
    switch (scale) {
    case 1: ConvertScale1(dots, stride, width, height, surface); break;
    case 2: ConvertScale2(dots, stride, width, height, surface); break;
    case 4: ConvertScale4(dots, stride, width, height, surface); break;
    default: break;
    }
}

} // namespace tessock
