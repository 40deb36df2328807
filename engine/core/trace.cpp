#include "engine/core/trace.h"

#include <cstdlib>

#include "engine/core/cpu_state.h"
#include "engine/core/engine.h"
#include "engine/core/memory.h"
#include "korvane.h"

namespace korvane {

std::atomic<uint32_t> TraceMode;

namespace {

// The ring counts the entries it holds, so that a read never returns a slot
// that no record has written.
struct TraceRing {
    uint32_t* Entries;
    uint32_t Oldest;   // index of the oldest entry held
    uint32_t Next;     // index the next record is written to
    uint32_t Capacity; // 0 while tracing is off
    uint32_t Held;     // entries written since the ring was emptied, at most Capacity
};

TraceRing Trace;

void EmptyRing()
{
    Trace.Oldest = 0;
    Trace.Next = 0;
    Trace.Held = 0;
}

uint32_t TraceValue(uint32_t mode)
{
    if (mode == TracePc)
        return Cpu.PC;
    uint32_t module = ModuleNone;
    const uint32_t offset = TranslateAddress(Cpu.PC, &module);
    return module << 28 | (offset & 0xFFFFFF);
}

} // namespace

void RecordTrace()
{
    const uint32_t mode = TraceMode.load(std::memory_order_relaxed);
    if ((mode != TracePc && mode != TraceModuleOffset) || Trace.Capacity == 0)
        return;
    Trace.Entries[Trace.Next] = TraceValue(mode);
    if (++Trace.Next == Trace.Capacity)
        Trace.Next = 0;
    if (Trace.Held < Trace.Capacity)
        ++Trace.Held;
    else
        Trace.Oldest = Trace.Next; // the oldest entry was just overwritten
}

void FreeTraceLog()
{
    TraceMode.store(TraceOff, std::memory_order_relaxed);
    std::free(Trace.Entries);
    Trace.Entries = nullptr;
    Trace.Capacity = 0;
    EmptyRing();
}

namespace {

// A new ring starts empty: its slots hold nothing that was recorded, and
// indexes of the old ring may lie outside a smaller one.
void ConfigureTrace(uint32_t mode, uint32_t capacity)
{
    FreeTraceLog();
    if ((mode != TracePc && mode != TraceModuleOffset) || capacity == 0)
        return;
    auto* entries = static_cast<uint32_t*>(std::malloc(size_t{capacity} * sizeof(uint32_t)));
    if (!entries)
        return; // tracing stays off
    Trace.Entries = entries;
    Trace.Capacity = capacity;
    TraceMode.store(mode, std::memory_order_relaxed);
}

// The newest entries, at most max of them, oldest first.
uint32_t ReadTrace(uint32_t* buffer, uint32_t max)
{
    if (!buffer || Trace.Capacity == 0)
        return 0;
    const uint32_t held = Trace.Held;
    const uint32_t count = held < max ? held : max;
    uint32_t index = static_cast<uint32_t>((uint64_t{Trace.Oldest} + (held - count)) % Trace.Capacity);
    for (uint32_t i = 0; i < count; ++i) {
        buffer[i] = Trace.Entries[index];
        if (++index == Trace.Capacity)
            index = 0;
    }
    return count;
}

} // namespace

} // namespace korvane

using namespace korvane;

extern "C" {

// The ring is written by the executing thread without a lock: it is
// replaced and emptied only while the engine is stopped.
void KVLogConfigure(uint32_t mode, uint32_t capacity)
{
    if (IsRunning())
        return;
    ConfigureTrace(mode, capacity);
}

void KVLogClear()
{
    if (IsRunning())
        return;
    EmptyRing();
}

uint32_t KVLogRead(uint32_t* buffer, uint32_t max)
{
    return ReadTrace(buffer, max);
}

} // extern "C"
