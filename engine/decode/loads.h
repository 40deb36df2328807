// P=n (2n) and LC (3n), with the nibble loaders shared with LA.
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

template <bool Decimal>
constexpr void FillLoads(DispatchTable&)
{
}

} // namespace korvane
