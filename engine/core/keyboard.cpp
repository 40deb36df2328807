#include "engine/core/keyboard.h"

#include "engine/core/cpu_state.h"
#include "engine/core/engine.h"
#include "engine/core/interrupts.h"
#include "korvane.h"

namespace korvane {

std::atomic<uint8_t> KeyStateMatrix[KeyLines * KeyLines];
std::atomic<uint16_t> LineMasks[KeyLines];
std::atomic<uint8_t> OnKeyDown;
std::atomic<uint8_t> KeyPending;
std::atomic<uint8_t> KeyScanArmed;
std::atomic<KeyboardHandlerProc> KeyboardHandler;

namespace {

constexpr auto Relaxed = std::memory_order_relaxed;

// Bumped by every matrix change. Two host threads may press keys at once;
// a recomputation that finds the matrix changed under it runs again, so
// the masks the last writer leaves always match the final matrix.
std::atomic<uint32_t> MatrixGeneration;

bool IsMatrixKey(int32_t column, int32_t row)
{
    return static_cast<uint32_t>(column) < KeyLines && static_cast<uint32_t>(row) < KeyLines;
}

uint16_t ColumnsOfRow(unsigned row)
{
    uint16_t columns = 0;
    for (unsigned column = 0; column < KeyLines; ++column) {
        if (KeyStateMatrix[row * KeyLines + column].load())
            columns |= static_cast<uint16_t>(1u << column);
    }
    return columns;
}

// A passive matrix conducts through every key that is down: an OUT line
// reaches each IN line of its connected part of the graph of down keys,
// however many keys the path passes.
void ComputeLineMasks(uint16_t masks[KeyLines])
{
    uint16_t rowColumns[KeyLines];
    for (unsigned row = 0; row < KeyLines; ++row)
        rowColumns[row] = ColumnsOfRow(row);

    uint16_t placed = 0; // rows already given their part's mask
    for (unsigned start = 0; start < KeyLines; ++start) {
        if (placed & (1u << start))
            continue;
        uint16_t rows = static_cast<uint16_t>(1u << start);
        uint16_t columns = rowColumns[start];
        for (bool grown = true; grown;) {
            grown = false;
            for (unsigned row = 0; row < KeyLines; ++row) {
                if (!(rows & (1u << row)) && (rowColumns[row] & columns)) {
                    rows |= static_cast<uint16_t>(1u << row);
                    columns |= rowColumns[row];
                    grown = true;
                }
            }
        }
        for (unsigned row = 0; row < KeyLines; ++row) {
            if (rows & (1u << row))
                masks[row] = columns;
        }
        placed |= rows;
    }
}

void RecomputeLineMasks()
{
    uint32_t seen;
    do {
        seen = MatrixGeneration.load();
        uint16_t masks[KeyLines];
        ComputeLineMasks(masks);
        for (unsigned row = 0; row < KeyLines; ++row)
            LineMasks[row].store(masks[row]);
    } while (MatrixGeneration.load() != seen);
}

void SetMatrixKey(int32_t column, int32_t row, uint8_t down)
{
    KeyStateMatrix[row * KeyLines + column].store(down);
    MatrixGeneration.fetch_add(1);
    RecomputeLineMasks();
}

// The IN lines (bits 0-8) that the OUT lines being driven reach.
uint16_t DrivenLines()
{
    const uint32_t out = Cpu.OUT;
    uint16_t lines = 0;
    for (unsigned row = 0; row < KeyLines; ++row) {
        if (out & (1u << row))
            lines |= LineMasks[row].load(Relaxed);
    }
    return lines;
}

// For the scans and ticks of the execution thread, the only thread that
// puts the processor to sleep: the test without the lock cannot miss a
// sleep that has begun.
void WakeIfSleeping()
{
    if (Sleeping.load(Relaxed))
        WakeCpu();
}

void NotifyKeyboardHandler(int32_t column, int32_t row, uint32_t down)
{
    if (KeyboardHandlerProc handler = KeyboardHandler.load(Relaxed))
        handler(column, row, down);
}

} // namespace

void PressKey(int32_t column, int32_t row)
{
    NotifyKeyboardHandler(column, row, 1);
    if (IsMatrixKey(column, row)) {
        SetMatrixKey(column, row, 1);
    } else {
        OnKeyDown.store(1, Relaxed);
        // The ON key interrupts whether or not key interrupts are enabled;
        // the ON request itself follows from the slice ticks while the key
        // is held.
        uint16_t request = 0;
        if (!LoadRelaxed(Cpu.InterruptService)) {
            KeyPending.store(0, Relaxed);
            request = RequestKey;
        }
        WakeCpuAndRequest(request);
    }
    // Set after the key's state, which the sleeping thread reads once it
    // has taken the event.
    KeyEvent->Set();
}

void ReleaseKey(int32_t column, int32_t row)
{
    NotifyKeyboardHandler(column, row, 0);
    if (IsMatrixKey(column, row))
        SetMatrixKey(column, row, 0);
    else
        OnKeyDown.store(0, Relaxed);
}

bool IsKeyPressed(int32_t column, int32_t row)
{
    return IsMatrixKey(column, row) && KeyStateMatrix[row * KeyLines + column].load(Relaxed) != 0;
}

void ResetKeyboard()
{
    for (auto& key : KeyStateMatrix)
        key.store(0);
    MatrixGeneration.fetch_add(1);
    RecomputeLineMasks();
}

void ScanKeyboard()
{
    uint16_t lines = DrivenLines();
    // Only lines that were not up before count: a held key interrupts once.
    const uint16_t newLines = lines & static_cast<uint16_t>(~Cpu.IN);
    const bool onDown = OnKeyDown.load(Relaxed) != 0;
    if (onDown)
        lines |= OnKeyLine;
    Cpu.IN = lines;

    const bool enabled = LoadRelaxed(Cpu.KeyInterruptsEnabled) != 0;
    if (newLines) {
        WakeIfSleeping();
        if (KeyScanArmed.load(Relaxed)) {
            KeyScanArmed.store(0, Relaxed);
            KeyPending.store(1, Relaxed);
        }
        if (enabled && !LoadRelaxed(Cpu.InterruptService))
            KeyPending.store(1, Relaxed);
    }
    if (enabled && KeyPending.load(Relaxed)) {
        KeyPending.store(0, Relaxed);
        RequestInterrupt(RequestKey);
    }
    if (onDown)
        CheckOnKey();
}

bool NewKeyLinesWaiting()
{
    return (DrivenLines() & static_cast<uint16_t>(~Cpu.IN)) != 0;
}

void ResetKeyScan()
{
    KeyScanArmed.store(1, Relaxed);
    // With IN cleared every line the driven OUT lines reach counts as new.
    Cpu.IN = 0;
    ScanKeyboard();
}

void CheckOnKey()
{
    if (!OnKeyDown.load(Relaxed))
        return;
    WakeIfSleeping();
    KeyPending.store(0, Relaxed);
    RequestInterrupt(RequestOnKey);
}

} // namespace korvane

using namespace korvane;

extern "C" {

void KVPressKey(int32_t column, int32_t row)
{
    PressKey(column, row);
}

void KVReleaseKey(int32_t column, int32_t row)
{
    ReleaseKey(column, row);
}

uint32_t KVIsKeyPressed(int32_t column, int32_t row)
{
    return IsKeyPressed(column, row) ? 1 : 0;
}

void KVSetKeyboardHandler(KeyboardHandlerProc handler)
{
    KeyboardHandler.store(handler, std::memory_order_relaxed);
}

} // extern "C"
