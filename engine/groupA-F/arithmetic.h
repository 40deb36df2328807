// Field arithmetic and logic, opcode groups A to F.
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

template <bool Decimal>
constexpr void FillArithmetic(DispatchTable&)
{
}

} // namespace korvane
