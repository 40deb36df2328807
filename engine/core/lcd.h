// The LCD renderer and frame delivery.
#pragma once

#include <atomic>
#include <cstdint>

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

// The display registers of the I/O window: reads of 0x00, 0x0B, 0x0C, 0x28,
// 0x29; writes of 0x00, 0x0B, 0x0C, 0x20-0x29, 0x30-0x34.
uint32_t ReadDisplayRegister(uint32_t offset);
void WriteDisplayRegister(uint32_t offset, uint32_t nibble);

// One display tick: renders a line when frames exist and the display is on.
void DisplayTick();
void FreeDisplayBuffers();

} // namespace korvane
