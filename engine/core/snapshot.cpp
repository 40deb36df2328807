#include "engine/core/snapshot.h"

#include "engine/core/cpu_state.h"
#include "engine/core/engine.h"
#include "engine/core/io_registers.h"
#include "engine/core/lcd.h"
#include "engine/core/memory.h"
#include "engine/core/timers.h"
#include "korvane.h"

namespace korvane {

namespace {

// The CPU part: these register indexes, in this order. A to D come before
// the flags word, whose decimal bit then converts them into the saved mode.
constexpr uint32_t SavedRegisters[] = {
    0,  1,  2,                                              // PC, D0, D1
    4,  5,  6,  7,  8,  9,  10, 11,                         // A to D, low then high
    12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, // R0 to R6
    26, 27,                                                 // R7
    63,                                                     // RSTK index
    64, 65, 66, 67, 68, 69, 70, 71,                         // RSTK slots
    28,                                                     // flags word
    31, 32,                                                 // low bank, high bank
};
static_assert(sizeof SavedRegisters / sizeof SavedRegisters[0] * 4 == SavedMemoryAt);

// The only modules a page can be mapped to; the ROM lies under every page.
constexpr uint32_t LastChainModule = ModulePort2;

struct StateWriter {
    uint8_t* Bytes;
    uint32_t Position;

    void Byte(uint32_t value) { Bytes[Position++] = static_cast<uint8_t>(value); }
    void Le32(uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            Byte(value >> (8 * i));
    }
};

struct StateReader {
    const uint8_t* Bytes;
    uint32_t Position;

    uint8_t Byte() { return Bytes[Position++]; }
    void Skip(uint32_t count) { Position += count; }
    uint32_t Le32()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= uint32_t{Byte()} << (8 * i);
        return value;
    }
};

void SaveCpuState(StateWriter& out)
{
    for (uint32_t index : SavedRegisters)
        out.Le32(GetRegister(index));
}

void SaveMemoryState(StateWriter& out)
{
    for (const MemoryModule& m : Modules) {
        out.Le32(m.State);
        out.Le32(m.Base);
        out.Le32(m.SizeMask);
    }
    out.Le32(CrcRegister);
    out.Byte(0);
    out.Byte(PlainRegister1E);
    out.Byte(PlainRegister1F);
    out.Byte(PlainRegister0E);
    out.Byte(PlainRegister09);
    out.Byte(0);
    for (uint8_t nibble : IoRegisterShadow)
        out.Byte(nibble);
}

void SaveTimerState(StateWriter& out)
{
    out.Byte(Timers.Timer1Control);
    out.Byte(Timers.Timer2Control);
    out.Byte(Timers.Timer1);
    out.Byte(0);
    out.Le32(Timers.Timer2);
}

void SaveDisplayState(StateWriter& out)
{
    out.Le32(LeftOffset);
    out.Le32(static_cast<uint32_t>(LineOffset));
    out.Le32(LineCount);
    out.Le32(DisplayAddress);
    out.Le32(MenuAddress);
    out.Byte(Annunciators.load(std::memory_order_relaxed));
    for (int i = 0; i < 3; ++i)
        out.Byte(0);
}

// SetRegister masks what it takes (addresses to 20 bits, the RSTK index to
// 3, nibbles to 4 bits, the banks to their windows).
void RestoreCpuState(StateReader& in)
{
    for (uint32_t index : SavedRegisters)
        SetRegister(index, in.Le32());
}

// A record comes from a file: every field is cut to the width the machine
// gives it before it is used, so that no value can lead an access outside
// the engine's tables or the lent buffers.
void RestoreMemoryState(StateReader& in)
{
    ResetMemoryConfig();
    for (uint32_t id = 0; id < 8; ++id) {
        MemoryModule& m = Modules[id];
        const uint32_t state = in.Le32();
        m.State = state <= ModuleConfigured ? state : ModuleUnconfigured;
        m.Base = in.Le32() & (id == ModuleIo ? 0xFFFC0 : 0xFFFFF);
        m.SizeMask = in.Le32() & 0xFFFFF;
    }
    for (uint32_t id = ModuleIo; id <= LastChainModule; ++id) {
        if (Modules[id].State == ModuleConfigured)
            MapConfiguredModule(id);
    }
    CrcRegister = in.Le32() & 0xFFFF;
    in.Skip(1);
    PlainRegister1E = in.Byte() & 0x0F;
    PlainRegister1F = in.Byte() & 0x0F;
    PlainRegister0E = in.Byte() & 0x0F;
    PlainRegister09 = in.Byte() & 0x0F;
    in.Skip(1);
    // Only stored: no register is re-derived from the shadow.
    for (uint8_t& nibble : IoRegisterShadow)
        nibble = in.Byte() & 0x0F;
}

void RestoreTimerState(StateReader& in)
{
    Timers.Timer1Control = in.Byte() & 0x0F;
    Timers.Timer2Control = in.Byte() & 0x0F;
    Timers.Timer1 = in.Byte() & 0x0F;
    in.Skip(1);
    Timers.Timer2 = in.Le32();
}

// The renderer takes the registers over at its next frame end.
void RestoreDisplayState(StateReader& in)
{
    LeftOffset = in.Le32() & 7;
    const uint32_t lineOffset = in.Le32() & 0xFFF; // signed 12 bits
    LineOffset = (lineOffset & 0x800) ? static_cast<int32_t>(lineOffset) - 0x1000 : static_cast<int32_t>(lineOffset);
    LineCount = in.Le32() & 63;
    DisplayAddress = in.Le32() & 0xFFFFF;
    MenuAddress = in.Le32() & 0xFFFFF;
    Annunciators.store(in.Byte(), std::memory_order_relaxed);
    in.Skip(3);
}

// The stop waits at most a while for the execution thread; a machine that
// is still running must not be read or written from here.
bool StopForSnapshot()
{
    StopEmulation();
    return !IsRunning();
}

} // namespace

bool SaveState(uint8_t* record)
{
    if (!StopForSnapshot())
        return false;
    StateWriter out{record, 0};
    SaveCpuState(out);
    SaveMemoryState(out);
    SaveTimerState(out);
    SaveDisplayState(out);
    return true;
}

bool RestoreState(const uint8_t* record)
{
    if (!StopForSnapshot())
        return false;
    StateReader in{record, 0};
    RestoreCpuState(in);
    RestoreMemoryState(in);
    RestoreTimerState(in);
    RestoreDisplayState(in);
    return true;
}

} // namespace korvane

using namespace korvane;

extern "C" {

// Both answer 1 only for a buffer longer than the record, as the callers
// have always been told; a buffer too short for it is refused untouched.
uint32_t KVSaveState(uint8_t* buffer, uint32_t size)
{
    if (!buffer || size < SavedStateSize)
        return 0;
    return SaveState(buffer) && size > SavedStateSize ? 1 : 0;
}

uint32_t KVRestoreState(const uint8_t* buffer, uint32_t size)
{
    if (!buffer || size < SavedStateSize)
        return 0;
    return RestoreState(buffer) && size > SavedStateSize ? 1 : 0;
}

} // extern "C"
