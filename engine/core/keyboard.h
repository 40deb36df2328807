// The 9 by 9 key matrix, the ON key and the scan that turns OUT into IN.
//
// The host presses and releases keys on its own threads without a lock
// while the execution thread scans. Every field both sides touch is an
// atomic of its natural width: each line mask one 16-bit unit, each flag
// one byte. A scan that overlaps a recomputation may see some rows old and
// some new; the next scan, a 256th of a second later, sees them all new.
#pragma once

#include <atomic>
#include <cstdint>

#include "korvane.h"

#pragma GCC visibility push(hidden)
namespace korvane {

inline constexpr unsigned KeyLines = 9;
inline constexpr uint16_t OnKeyLine = 0x8000;

// Byte row * 9 + column is 1 while that key is down.
extern std::atomic<uint8_t> KeyStateMatrix[KeyLines * KeyLines];
// Per OUT line: the IN lines (bits 0-8) it reaches through the keys that are
// down, sneak paths included.
extern std::atomic<uint16_t> LineMasks[KeyLines];
extern std::atomic<uint8_t> OnKeyDown;
// A key interrupt owed to the CPU, held until key interrupts are enabled.
extern std::atomic<uint8_t> KeyPending;
// Set by RSI: the next new IN line is owed even with key interrupts off.
extern std::atomic<uint8_t> KeyScanArmed;
extern std::atomic<KeyboardHandlerProc> KeyboardHandler;

static_assert(std::atomic<uint8_t>::is_always_lock_free && std::atomic<uint16_t>::is_always_lock_free);

// Any column or row outside 0-8 (taken unsigned) is the ON key.
void PressKey(int32_t column, int32_t row);
void ReleaseKey(int32_t column, int32_t row);
// The ON key is no matrix cell: it and every code outside 0-8 answer false.
bool IsKeyPressed(int32_t column, int32_t row);

// Clears the matrix and its line masks.
void ResetKeyboard();
// Recomputes IN from OUT and the matrix; new lines wake the CPU and may owe
// or raise the key interrupt.
void ScanKeyboard();
// Whether a scan now would find an IN line that is not up yet.
bool NewKeyLinesWaiting();
// RSI: arms the scan and rescans from an empty IN.
void ResetKeyScan();
// While ON is held: wakes the CPU and requests the ON interrupt.
void CheckOnKey();

} // namespace korvane
#pragma GCC visibility pop
