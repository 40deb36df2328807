// The trace log: a ring of the addresses of executed instructions.
#pragma once

#include <atomic>
#include <cstdint>

#pragma GCC visibility push(hidden)
namespace korvane {

// 0 off, 1 record PC, 2 record module id and offset.
extern std::atomic<uint32_t> TraceMode;

inline constexpr uint32_t TraceOff = 0;
inline constexpr uint32_t TracePc = 1;
inline constexpr uint32_t TraceModuleOffset = 2;

// Records the instruction at PC according to the mode now set.
void RecordTrace();
void FreeTraceLog();

} // namespace korvane
#pragma GCC visibility pop
