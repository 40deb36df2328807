// Scratch register transfers of whole registers: Rn=A, A=Rn, ARnEX and the C forms (10x, 11x, 12x).
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

template <bool Decimal>
constexpr void FillScratch(DispatchTable&)
{
}

} // namespace korvane
