// Control and input/output: OUT=CS, OUT=C, A=IN, C=IN, UNCNFG, CONFIG, C=ID, SHUTDN, C+P+1, RESET, BUSCC, SREQ? (800-80E), HS=0 (82n), ST=0 (84n), ST=1 (85n).
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

template <bool Decimal>
constexpr void FillControl(DispatchTable&)
{
}

} // namespace korvane
