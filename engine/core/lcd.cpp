#include "engine/core/lcd.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/core/engine.h"
#include "engine/core/memory.h"

namespace korvane {

uint8_t DisplayOn;
uint32_t LeftOffset;
uint32_t DisplayAddress;
int32_t LineOffset;
uint32_t LineCount;
uint32_t MenuAddress;
std::atomic<uint8_t> Annunciators;
uint32_t LineCounter;

LatchedDisplayRegisters DisplayLatches;
DisplayRenderState DisplayRender;
DisplayFrames DisplayGeometry;
std::atomic<DisplayHandlerProc> DisplayHandler;

namespace {

constexpr uint8_t ClearDot = 255;
constexpr uint8_t DarkDot = 0;
// The longest line: the widest display plus the two nibbles a left offset
// of 4 or more adds.
constexpr uint32_t MaxLineNibbles = 2 * (MaxDisplaySide / 8) + 2;

// Guards against a refresh started from the display handler that a refresh
// called, or from a second thread: both would advance the same renderer.
std::atomic<bool> Refreshing;

bool HaveFrames()
{
    return DisplayGeometry.RawFrames[0] != nullptr;
}

uint32_t PlainNibblesPerLine()
{
    return 2 * ((DisplayGeometry.Width + 7) / 8);
}

uint32_t ReplaceNibble(uint32_t value, uint32_t index, uint32_t nibble)
{
    const uint32_t shift = 4 * index;
    return (value & ~(0xFu << shift)) | ((nibble & 0xF) << shift);
}

// The line's nibbles through the fetch map, so that reading them updates no
// CRC and triggers no I/O register. Within a page they are the module's
// consecutive nibbles; a line that crosses a page boundary goes on with the
// next page rather than past the end of a buffer.
void FetchLineNibbles(uint32_t address, uint32_t count, uint8_t* out)
{
    while (count) {
        const uint32_t inPage = std::min(count, PageSize - (address & 0xFFF));
        const uint8_t* source = Memory.Pages.Fetch[PageOf(address)] + (address & 0xFFF);
        for (uint32_t i = 0; i < inPage; ++i)
            out[i] = source[i] & 0x0F;
        out += inPage;
        count -= inPage;
        address = (address + inPage) & 0xFFFFF;
    }
}

// The next output frame after current, in round-robin order, that is not
// lent out; current itself when all three others are.
uint32_t NextFreeOutput(uint32_t current)
{
    for (uint32_t step = 1; step < 4; ++step) {
        const uint32_t candidate = (current + step) & 3;
        if (!DisplayGeometry.Busy[candidate].load(std::memory_order_acquire))
            return candidate;
    }
    return current;
}

void LatchDisplayRegisters()
{
    DisplayLatches.LatchedLeftOffset = LeftOffset;
    DisplayLatches.LatchedLineOffset = LineOffset & ~int32_t{1};
    DisplayLatches.LinesLeft = (LineCount - 1) & 63;
    DisplayLatches.LatchedDisplayAddress = DisplayAddress & 0xFFFFE;
    DisplayLatches.LatchedMenuAddress = MenuAddress & 0xFFFFE;
}

} // namespace

uint32_t ReadDisplayRegister(uint32_t offset)
{
    switch (offset) {
    case 0x00:
        return (DisplayOn ? 8u : 0u) | LeftOffset;
    case 0x0B:
        return Annunciators.load(std::memory_order_relaxed) & 0xF;
    case 0x0C:
        return Annunciators.load(std::memory_order_relaxed) >> 4;
    case 0x28:
        return ~LineCounter & 0xF;
    case 0x29:
        return (~LineCounter >> 4) & 3;
    default:
        return 0;
    }
}

void WriteDisplayRegister(uint32_t offset, uint32_t nibble)
{
    nibble &= 0xF;
    // Only this thread writes the annunciators; the atomic is for the poller.
    const uint8_t annunciators = Annunciators.load(std::memory_order_relaxed);
    switch (offset) {
    case 0x00:
        DisplayOn = (nibble >> 3) & 1;
        LeftOffset = nibble & 7;
        break;
    case 0x0B:
        Annunciators.store(static_cast<uint8_t>((annunciators & 0xF0) | nibble), std::memory_order_relaxed);
        break;
    case 0x0C:
        Annunciators.store(static_cast<uint8_t>((annunciators & 0x0F) | (nibble << 4)), std::memory_order_relaxed);
        break;
    case 0x20: case 0x21: case 0x22: case 0x23: case 0x24:
        DisplayAddress = ReplaceNibble(DisplayAddress, offset - 0x20, nibble) & 0xFFFFF;
        break;
    case 0x25: case 0x26:
        LineOffset = static_cast<int32_t>(ReplaceNibble(static_cast<uint32_t>(LineOffset), offset - 0x25, nibble));
        break;
    case 0x27:
        // The top nibble's bit 3 is the sign of a 12-bit offset.
        LineOffset = static_cast<int32_t>((nibble << 8) | (static_cast<uint32_t>(LineOffset) & 0xFF)) -
                     ((nibble & 8) ? 0x1000 : 0);
        break;
    case 0x28:
        LineCount = (LineCount & 0x30) | nibble;
        break;
    case 0x29:
        LineCount = (LineCount & 0x0F) | ((nibble & 3) << 4);
        break;
    case 0x30: case 0x31: case 0x32: case 0x33: case 0x34:
        MenuAddress = ReplaceNibble(MenuAddress, offset - 0x30, nibble) & 0xFFFFF;
        break;
    default:
        break;
    }
}

void DisplayTick()
{
    if (DisplayOn && HaveFrames())
        RenderDisplayLine();
}

uint32_t DisplayTicksToFrameEnd()
{
    if (!DisplayOn || !HaveFrames())
        return 0;
    return DisplayLines - LineCounter;
}

void RenderDisplayLine()
{
    DisplayFrames& frames = DisplayGeometry;
    DisplayRenderState& render = DisplayRender;
    const uint32_t stride = frames.Stride;
    const size_t row = static_cast<size_t>(LineCounter) * stride;
    uint8_t* raw = frames.RawFrames[(render.RawIndex - 1) & 3] + row;
    const uint8_t* previous1 = frames.RawFrames[(render.RawIndex - 2) & 3] + row;
    const uint8_t* previous2 = frames.RawFrames[(render.RawIndex - 3) & 3] + row;
    // A frame still lent to the handler is left alone: its reader may be on it.
    const uint32_t target = render.OutputIndex;
    uint8_t* output = frames.Busy[target].load(std::memory_order_acquire)
                          ? nullptr
                          : frames.OutputFrames[target].load(std::memory_order_relaxed) + row;
    // Dots that would land past the end of the row are clipped.
    const uint32_t shown = stride - render.LinePixelOffset;

    uint8_t nibbles[MaxLineNibbles];
    const uint32_t count = std::min(render.NibblesPerLine, stride / 4);
    FetchLineNibbles(render.LineAddress, count, nibbles);
    for (uint32_t dot = 0; dot < 4 * count; ++dot) {
        const uint32_t value = ((nibbles[dot >> 2] >> (dot & 3)) & 1) ? DarkDot : ClearDot;
        raw[dot] = static_cast<uint8_t>(value);
        if (output && dot < shown) {
            // The liquid crystal's slow response: three tenths each of this
            // frame and the two before it, one tenth of what was shown.
            uint8_t& shownDot = output[render.LinePixelOffset + dot];
            shownDot = static_cast<uint8_t>((3 * (value + previous1[dot] + previous2[dot]) + shownDot) / 10);
        }
    }

    if (++LineCounter == DisplayLines) {
        EndDisplayFrame();
        return;
    }
    render.LineAddress = render.NextLineAddress;
    if (DisplayLatches.LinesLeft == 0) {
        // The main area ends with the line now in LineAddress; the menu
        // area follows, neither scrolled nor offset.
        DisplayLatches.LatchedLineOffset = 0;
        render.NextLineAddress = DisplayLatches.LatchedMenuAddress;
        render.NibblesPerLine = PlainNibblesPerLine();
        DisplayLatches.LinesLeft = 63;
        return;
    }
    if (DisplayLatches.LinesLeft == 63)
        render.LinePixelOffset = DisplayLatches.LatchedLeftOffset;
    render.NextLineAddress = (render.LineAddress + render.NibblesPerLine +
                              static_cast<uint32_t>(DisplayLatches.LatchedLineOffset)) & 0xFFFFF;
    DisplayLatches.LinesLeft = (DisplayLatches.LinesLeft - 1) & 63;
}

void EndDisplayFrame()
{
    DisplayFrames& frames = DisplayGeometry;
    DisplayRenderState& render = DisplayRender;
    const uint32_t current = render.OutputIndex;
    if (frames.Busy[current].load(std::memory_order_acquire)) {
        // Not delivered; the next frame is composed in one that is free.
        render.OutputIndex = NextFreeOutput(current);
    } else if (DisplayHandlerProc handler = DisplayHandler.load(std::memory_order_acquire)) {
        // Busy before the call: the consumer may give the frame back inside it.
        frames.Busy[current].store(1, std::memory_order_relaxed);
        // The left offset the frame was rendered with, latched a frame ago.
        handler(frames.OutputFrames[current].load(std::memory_order_relaxed), DisplayLatches.LatchedLeftOffset,
                frames.Stride);
        render.OutputIndex = NextFreeOutput(current);
    }

    LatchDisplayRegisters();
    render.RawIndex = (render.RawIndex + 1) & 3;
    LineCounter = 0;
    render.LineAddress = DisplayLatches.LatchedDisplayAddress;
    // A left offset of 4 or more shows part of one more byte of each line.
    render.NibblesPerLine = PlainNibblesPerLine() + (LeftOffset >= 4 ? 2 : 0);
    render.NextLineAddress = (render.LineAddress + render.NibblesPerLine +
                              static_cast<uint32_t>(DisplayLatches.LatchedLineOffset)) & 0xFFFFF;
    render.LinePixelOffset = 0;
}

bool SetDisplaySize(uint32_t width, uint32_t height)
{
    if (IsRunning())
        return false;
    if (width == 0 || height == 0 || width > MaxDisplaySide || height > MaxDisplaySide)
        return false;
    const uint32_t stride = ((width + 7) & ~7u) + 8;
    // The renderer always writes 64 lines, whatever height the consumer reads.
    const uint32_t rows = std::max(height, DisplayLines);
    const size_t sizes[2] = {size_t{DisplayLines} * stride, size_t{rows} * stride};

    // Everything is allocated before the old frames go, so a failure loses
    // nothing.
    uint8_t* fresh[8] = {};
    for (int i = 0; i < 8; ++i) {
        const size_t size = sizes[i / 4];
        fresh[i] = new (std::nothrow) uint8_t[size];
        if (!fresh[i]) {
            for (uint8_t* frame : fresh)
                delete[] frame;
            return false;
        }
        std::memset(fresh[i], ClearDot, size);
    }

    FreeDisplayBuffers();
    DisplayFrames& frames = DisplayGeometry;
    frames.Width = width;
    frames.Height = height;
    frames.Stride = stride;
    frames.Rows = rows;
    for (int i = 0; i < 4; ++i) {
        frames.RawFrames[i] = fresh[i];
        frames.OutputFrames[i].store(fresh[4 + i], std::memory_order_relaxed);
        frames.Busy[i].store(0, std::memory_order_relaxed);
    }
    // The next line rendered is the last of a frame: it ends that frame and
    // latches the registers.
    DisplayRender.NibblesPerLine = PlainNibblesPerLine();
    DisplayRender.RawIndex = 0;
    DisplayRender.OutputIndex = 0;
    DisplayRender.LineAddress = DisplayLatches.LatchedDisplayAddress;
    LineCounter = DisplayLines - 1;
    return true;
}

void DiscardFrame(const uint8_t* frame)
{
    if (!frame)
        return;
    for (int i = 0; i < 4; ++i) {
        if (DisplayGeometry.OutputFrames[i].load(std::memory_order_relaxed) == frame)
            DisplayGeometry.Busy[i].store(0, std::memory_order_release);
    }
}

void ForceRefresh()
{
    // While the engine runs its thread owns the renderer.
    if (IsRunning() || !HaveFrames())
        return;
    if (Refreshing.exchange(true, std::memory_order_acquire))
        return;
    // The handler may have replaced the frames; each line checks again.
    while (LineCounter != 0 && HaveFrames())
        RenderDisplayLine();
    for (uint32_t line = 0; line < DisplayLines && HaveFrames(); ++line)
        RenderDisplayLine();
    Refreshing.store(false, std::memory_order_release);
}

void FreeDisplayBuffers()
{
    DisplayFrames& frames = DisplayGeometry;
    for (int i = 0; i < 4; ++i) {
        delete[] frames.RawFrames[i];
        frames.RawFrames[i] = nullptr;
        delete[] frames.OutputFrames[i].exchange(nullptr, std::memory_order_relaxed);
        frames.Busy[i].store(0, std::memory_order_relaxed);
    }
    frames.Width = frames.Height = frames.Stride = frames.Rows = 0;
}

} // namespace korvane

using namespace korvane;

extern "C" {

void KVSetDisplaySize(uint32_t width, uint32_t height)
{
    SetDisplaySize(width, height);
}

void KVSetDisplayHandler(DisplayHandlerProc handler)
{
    DisplayHandler.store(handler, std::memory_order_release);
}

void KVDiscardFrame(const uint8_t* frame)
{
    DiscardFrame(frame);
}

void KVForceRefresh()
{
    ForceRefresh();
}

uint8_t KVGetAnnunciators()
{
    return Annunciators.load(std::memory_order_relaxed);
}

} // extern "C"
