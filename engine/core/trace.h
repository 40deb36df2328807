// The trace log: a ring of the addresses of executed instructions.
#pragma once

#include <atomic>
#include <cstdint>

namespace korvane {

// 0 off, 1 record PC, 2 record module id and offset.
extern std::atomic<uint32_t> TraceMode;

// Records the instruction at PC according to the mode now set.
void RecordTrace();
void FreeTraceLog();

} // namespace korvane
