#include "engine/core/snapshot.h"

#include "engine/core/cpu_state.h"
#include "engine/core/engine.h"
#include "engine/core/io_registers.h"
#include "engine/core/lcd.h"
#include "engine/core/memory.h"
#include "engine/core/timers.h"
#include "korvane.h"

namespace korvane {

static_assert(SavedStateSize == KV_STATE_SIZE, "the header promises the record's length");

namespace {

// One field of the record: Count values of Width bytes (1 or 4, little-endian),
// the first at Offset and each further one Stride bytes on. Save writes what
// Get gives for value i. Restore hands Set the value read, and Set cuts it to
// the width the machine gives the field: a record comes from a file, and no
// value may lead an access outside the engine's tables or the lent buffers.
struct SavedField {
    uint32_t Offset;
    uint32_t Width;
    uint32_t Count;
    uint32_t Stride;
    uint32_t (*Get)(uint32_t i);
    void (*Set)(uint32_t i, uint32_t value);
};

// Registers by their KVGetRegister number; SetRegister masks what it takes
// (addresses to 20 bits, the RSTK index to 3, the banks to their windows).
template <uint32_t First>
uint32_t GetRegisterFrom(uint32_t i)
{
    return GetRegister(First + i);
}

template <uint32_t First>
void SetRegisterFrom(uint32_t i, uint32_t value)
{
    SetRegister(First + i, value);
}

// The bytes that carry nothing: written as 0, skipped on reading.
uint32_t Zero(uint32_t)
{
    return 0;
}

void Skip(uint32_t, uint32_t) {}

// A plain I/O register byte, kept as its low nibble.
template <uint8_t* Register>
uint32_t GetByte(uint32_t)
{
    return *Register;
}

template <uint8_t* Register>
void SetNibble(uint32_t, uint32_t value)
{
    *Register = value & 0x0F;
}

template <uint8_t TimerState::*Register>
uint32_t GetTimerByte(uint32_t)
{
    return Timers.*Register;
}

template <uint8_t TimerState::*Register>
void SetTimerNibble(uint32_t, uint32_t value)
{
    Timers.*Register = value & 0x0F;
}

// Only modules 0 to 4 can be mapped; the ROM lies under every page.
constexpr uint32_t LastChainModule = ModulePort2;

// The whole record, field by field in the order both directions take: the
// CPU part, the memory controller, the timers, the display registers. A to D
// come before the flags word, whose decimal bit then converts them into the
// saved mode.
constexpr SavedField SavedLayout[] = {
    // The CPU part.
    {0, 4, 3, 4, &GetRegisterFrom<KV_REG_PC>, &SetRegisterFrom<KV_REG_PC>},             // PC, D0, D1
    {12, 4, 8, 4, &GetRegisterFrom<KV_REG_A_LOW>, &SetRegisterFrom<KV_REG_A_LOW>},      // A to D, low then high
    {44, 4, 16, 4, &GetRegisterFrom<KV_REG_R0_LOW>, &SetRegisterFrom<KV_REG_R0_LOW>},   // R0 to R7, low then high
    {108, 4, 1, 4, &GetRegisterFrom<KV_REG_RSTK_INDEX>, &SetRegisterFrom<KV_REG_RSTK_INDEX>},
    {112, 4, 8, 4, &GetRegisterFrom<KV_REG_RSTK0>, &SetRegisterFrom<KV_REG_RSTK0>},     // RSTK slots 0 to 7
    {144, 4, 1, 4, &GetRegisterFrom<KV_REG_FLAGS>, &SetRegisterFrom<KV_REG_FLAGS>},
    {148, 4, 2, 4, &GetRegisterFrom<KV_REG_LOW_BANK>, &SetRegisterFrom<KV_REG_LOW_BANK>}, // low, high bank

    // The memory controller: State, Base and SizeMask of modules 0 to 7.
    {156, 4, 8, 12, [](uint32_t id) { return Modules[id].State; },
     [](uint32_t id, uint32_t state) { Modules[id].State = state <= ModuleConfigured ? state : ModuleUnconfigured; }},
    {160, 4, 8, 12, [](uint32_t id) { return Modules[id].Base; },
     [](uint32_t id, uint32_t base) { Modules[id].Base = base & (id == ModuleIo ? 0xFFFC0 : 0xFFFFF); }},
    {164, 4, 8, 12, [](uint32_t id) { return Modules[id].SizeMask; },
     [](uint32_t id, uint32_t mask) { Modules[id].SizeMask = mask & 0xFFFFF; }},
    {252, 4, 1, 4, [](uint32_t) { return CrcRegister; }, [](uint32_t, uint32_t crc) { CrcRegister = crc & 0xFFFF; }},
    {256, 1, 1, 1, &Zero, &Skip},
    {257, 1, 1, 1, &GetByte<&PlainRegister1E>, &SetNibble<&PlainRegister1E>},
    {258, 1, 1, 1, &GetByte<&PlainRegister1F>, &SetNibble<&PlainRegister1F>},
    {259, 1, 1, 1, &GetByte<&PlainRegister0E>, &SetNibble<&PlainRegister0E>},
    {260, 1, 1, 1, &GetByte<&PlainRegister09>, &SetNibble<&PlainRegister09>},
    {261, 1, 1, 1, &Zero, &Skip},
    // Only stored: no register is re-derived from the shadow.
    {262, 1, 64, 1, [](uint32_t offset) -> uint32_t { return IoRegisterShadow[offset]; },
     [](uint32_t offset, uint32_t nibble) { IoRegisterShadow[offset] = nibble & 0x0F; }},

    // The timers.
    {326, 1, 1, 1, &GetTimerByte<&TimerState::Timer1Control>, &SetTimerNibble<&TimerState::Timer1Control>},
    {327, 1, 1, 1, &GetTimerByte<&TimerState::Timer2Control>, &SetTimerNibble<&TimerState::Timer2Control>},
    {328, 1, 1, 1, &GetTimerByte<&TimerState::Timer1>, &SetTimerNibble<&TimerState::Timer1>},
    {329, 1, 1, 1, &Zero, &Skip},
    {330, 4, 1, 4, [](uint32_t) { return Timers.Timer2; }, [](uint32_t, uint32_t value) { Timers.Timer2 = value; }},

    // The display registers; the renderer takes them over at its next frame end.
    {334, 4, 1, 4, [](uint32_t) { return LeftOffset; }, [](uint32_t, uint32_t value) { LeftOffset = value & 7; }},
    {338, 4, 1, 4, [](uint32_t) { return static_cast<uint32_t>(LineOffset); },
     [](uint32_t, uint32_t value) { // signed 12 bits
         const int32_t offset = static_cast<int32_t>(value & 0xFFF);
         LineOffset = (offset & 0x800) ? offset - 0x1000 : offset;
     }},
    {342, 4, 1, 4, [](uint32_t) { return LineCount; }, [](uint32_t, uint32_t value) { LineCount = value & 63; }},
    {346, 4, 1, 4, [](uint32_t) { return DisplayAddress; },
     [](uint32_t, uint32_t value) { DisplayAddress = value & 0xFFFFF; }},
    {350, 4, 1, 4, [](uint32_t) { return MenuAddress; },
     [](uint32_t, uint32_t value) { MenuAddress = value & 0xFFFFF; }},
    {354, 1, 1, 1, [](uint32_t) -> uint32_t { return Annunciators.load(std::memory_order_relaxed); },
     [](uint32_t, uint32_t value) { Annunciators.store(static_cast<uint8_t>(value), std::memory_order_relaxed); }},
    {355, 1, 3, 1, &Zero, &Skip},
};

// Every byte of the record belongs to exactly one field.
consteval bool CoversTheRecordOnce()
{
    uint32_t owners[SavedStateSize] = {};
    for (const SavedField& field : SavedLayout) {
        for (uint32_t i = 0; i < field.Count; ++i) {
            for (uint32_t b = 0; b < field.Width; ++b) {
                const uint32_t at = field.Offset + i * field.Stride + b;
                if (at >= SavedStateSize || owners[at]++ != 0)
                    return false;
            }
        }
    }
    for (uint32_t owner : owners) {
        if (owner != 1)
            return false;
    }
    return true;
}
static_assert(CoversTheRecordOnce(), "the fields tile the record's bytes");

// The CPU part takes the register numbers of the header in runs: A to D end
// where R0 begins, and the RSTK slots follow the RSTK index.
static_assert(KV_REG_A_LOW + 8 == KV_REG_R0_LOW && KV_REG_R0_LOW + 16 == KV_REG_FLAGS);
static_assert(KV_REG_RSTK_INDEX + 1 == KV_REG_RSTK0 && KV_REG_LOW_BANK + 1 == KV_REG_HIGH_BANK);
static_assert(KV_REG_PC + 2 == KV_REG_D1);

void PutLittleEndian(uint8_t* bytes, uint32_t width, uint32_t value)
{
    for (uint32_t b = 0; b < width; ++b)
        bytes[b] = static_cast<uint8_t>(value >> (8 * b));
}

uint32_t GetLittleEndian(const uint8_t* bytes, uint32_t width)
{
    uint32_t value = 0;
    for (uint32_t b = 0; b < width; ++b)
        value |= uint32_t{bytes[b]} << (8 * b);
    return value;
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
    for (const SavedField& field : SavedLayout) {
        for (uint32_t i = 0; i < field.Count; ++i)
            PutLittleEndian(record + field.Offset + i * field.Stride, field.Width, field.Get(i));
    }
    return true;
}

// The record's modules replace the whole memory map: every module is
// unconfigured first, and the configured ones are mapped once all are read.
bool RestoreState(const uint8_t* record)
{
    if (!StopForSnapshot())
        return false;
    ResetMemoryConfig();
    for (const SavedField& field : SavedLayout) {
        for (uint32_t i = 0; i < field.Count; ++i)
            field.Set(i, GetLittleEndian(record + field.Offset + i * field.Stride, field.Width));
    }
    for (uint32_t id = ModuleIo; id <= LastChainModule; ++id) {
        if (Modules[id].State == ModuleConfigured)
            MapConfiguredModule(id);
    }
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
