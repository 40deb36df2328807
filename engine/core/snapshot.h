// The machine state snapshot: processor, memory controller configuration,
// timers and display registers as one fixed little-endian record. Memory
// contents are not part of it: the module buffers belong to the host.
#pragma once

#include <cstdint>

namespace korvane {

// The record's layout is one list of fields, in snapshot.cpp, that drives
// both directions.
inline constexpr uint32_t SavedStateSize = 358;

// Both stop the engine first and leave it stopped. They refuse (false,
// buffer untouched, machine unchanged) when the engine would not stop.
bool SaveState(uint8_t* record);
bool RestoreState(const uint8_t* record);

} // namespace korvane
