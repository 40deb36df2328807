// Register equality and zero tests: 8Ab on field A, 9ab with a 0-7 on the fields.
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

template <bool Decimal>
constexpr void FillEqualityTests(DispatchTable&)
{
}

} // namespace korvane
