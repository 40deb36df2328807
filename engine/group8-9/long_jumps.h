// Long jumps and calls: GOLONG (8C), GOVLNG (8D), GOSUBL (8E), GOSBVL (8F).
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

template <bool Decimal>
constexpr void FillLongJumps(DispatchTable&)
{
}

} // namespace korvane
