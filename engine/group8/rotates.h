// Nibble rotates of whole registers (810-817) and one-bit right shifts of whole registers (81C-81F).
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

template <bool Decimal>
constexpr void FillRotates(DispatchTable&)
{
}

} // namespace korvane
