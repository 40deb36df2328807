// P=n (2n) and LC (3n), with the nibble loaders shared with LA.
#pragma once

#include <array>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"

namespace korvane {

// Writes N nibbles into a packed register from nibble P on, wrapping from
// nibble 15 to 0; the entry for (P, N) is at (P << 4) | (N - 1). The nibble
// bytes are read as their low four bits.
using LoadNibblesProc = void (*)(NibbleRegister* packed, const uint8_t* nibbles);
extern const std::array<LoadNibblesProc, 256> LoadNibblesTable;

template <bool Decimal>
constexpr void FillLoads(DispatchTable&)
{
}

} // namespace korvane
