// The machine state snapshot: processor, memory controller configuration,
// timers and display registers as one fixed little-endian record. Memory
// contents are not part of it: the module buffers belong to the host.
#pragma once

#include <cstdint>

namespace korvane {

inline constexpr uint32_t SavedStateSize = 358;

// Where each part of the record begins.
inline constexpr uint32_t SavedCpuAt = 0;
inline constexpr uint32_t SavedMemoryAt = 156;
inline constexpr uint32_t SavedTimersAt = 326;
inline constexpr uint32_t SavedDisplayAt = 334;

// Both stop the engine first and leave it stopped. They refuse (false,
// buffer untouched, machine unchanged) when the engine would not stop.
bool SaveState(uint8_t* record);
bool RestoreState(const uint8_t* record);

} // namespace korvane
