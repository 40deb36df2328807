// The trace log: a ring of the addresses of executed instructions.
#pragma once

#include <atomic>
#include <cstdint>

namespace korvane {

// 0 off, 1 record PC, 2 record module id and offset.
extern std::atomic<uint32_t> TraceMode;

inline constexpr uint32_t TraceOff = 0;
inline constexpr uint32_t TracePc = 1;
inline constexpr uint32_t TraceModuleOffset = 2;

// The ring counts the entries it holds, so that a read never returns a slot
// that no record has written.
struct TraceRing {
    uint32_t* Entries;
    uint32_t Oldest;   // index of the oldest entry held
    uint32_t Next;     // index the next record is written to
    uint32_t Capacity; // 0 while tracing is off
    uint32_t Held;     // entries written since the ring was emptied, at most Capacity
};

extern TraceRing Trace;

// Records the instruction at PC according to the mode now set.
void RecordTrace();
void FreeTraceLog();

} // namespace korvane
