// Data pointer instructions: D0/D1 from and with A/C (13x), add and subtract (16x-18x, 1Cx), immediate loads (19, 1A, 1B, 1D, 1E, 1F).
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

template <bool Decimal>
constexpr void FillPointers(DispatchTable&)
{
}

} // namespace korvane
