// Register order comparisons: 8Bb on field A, 9ab with a 8-F on the fields.
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

template <bool Decimal>
constexpr void FillOrderTests(DispatchTable&)
{
}

} // namespace korvane
