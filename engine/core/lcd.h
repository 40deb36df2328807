// The LCD renderer and frame delivery.
#pragma once

#include <atomic>
#include <cstdint>

#include "korvane.h"

#pragma GCC visibility push(hidden)
namespace korvane {

// Display registers, written by the calculator's program through the I/O
// window and latched by the renderer at each frame end.
extern uint8_t DisplayOn;
extern uint32_t LeftOffset;     // 0-7
extern uint32_t DisplayAddress; // 20 bits
extern int32_t LineOffset;      // signed 12-bit, held sign-extended
extern uint32_t LineCount;      // 6 bits
extern uint32_t MenuAddress;    // 20 bits
extern std::atomic<uint8_t> Annunciators; // polled by the user interface
extern uint32_t LineCounter;    // the next line to render, 0-64

inline constexpr uint32_t DisplayLines = 64;
// Sizes outside 1..MaxDisplaySide are refused by KVSetDisplaySize.
inline constexpr uint32_t MaxDisplaySide = 4096;

// The registers as they stood at the last frame end; the frame being
// rendered uses these.
struct LatchedDisplayRegisters {
    uint32_t LatchedLeftOffset;
    int32_t LatchedLineOffset;  // bit 0 cleared
    uint32_t LinesLeft;         // main-area lines still to come, counted down
    uint32_t LatchedDisplayAddress;
    uint32_t LatchedMenuAddress;
};
extern LatchedDisplayRegisters DisplayLatches;

// Where the line being rendered comes from and where it goes.
struct DisplayRenderState {
    uint32_t LineAddress;
    uint32_t NextLineAddress;
    uint32_t NibblesPerLine;
    uint32_t LinePixelOffset; // column of the line's first dot in the output row
    uint32_t RawIndex;        // the frame renders into raw slot RawIndex - 1
    uint32_t OutputIndex;     // the output frame being composed
};
extern DisplayRenderState DisplayRender;

// The frames: one byte per pixel, 0 dark to 255 clear, rows of Stride bytes.
// Raw frames hold the 64 rendered lines; output frames hold Rows rows, the
// height asked for but never fewer than the 64 lines the renderer writes.
// An output frame lent to the display handler stays Busy until it comes
// back through KVDiscardFrame, possibly from another thread.
struct DisplayFrames {
    uint32_t Width;
    uint32_t Height;
    uint32_t Stride;
    uint32_t Rows;
    uint8_t* RawFrames[4];
    std::atomic<uint8_t*> OutputFrames[4];
    std::atomic<uint8_t> Busy[4];
};
extern DisplayFrames DisplayGeometry;

extern std::atomic<DisplayHandlerProc> DisplayHandler;

// The display registers of the I/O window: reads of 0x00, 0x0B, 0x0C, 0x28
// and 0x29 (the address and offset registers cannot be read back: 0x20-0x27
// and 0x30-0x34 read 7 through the window's map); writes of 0x00, 0x0B,
// 0x0C, 0x20-0x29, 0x30-0x34.
uint32_t ReadDisplayRegister(uint32_t offset);
void WriteDisplayRegister(uint32_t offset, uint32_t nibble);

// One display tick: renders a line when frames exist and the display is on.
void DisplayTick();
// The display ticks from now to the one that ends a frame (1 to 64), or 0
// while display ticks render nothing.
uint32_t DisplayTicksToFrameEnd();
void RenderDisplayLine();
void EndDisplayFrame();

// Replaces the frames with clear ones of the new size and starts a frame;
// false when the size is refused or the engine runs (nothing changes then).
bool SetDisplaySize(uint32_t width, uint32_t height);
void DiscardFrame(const uint8_t* frame);
void ForceRefresh();
void FreeDisplayBuffers();

} // namespace korvane
#pragma GCC visibility pop
