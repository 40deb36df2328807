// Tests of HST, ST and P with their GOYES/RTNYES tail: ?HST=0 (83n), ?ST=0 (86n), ?ST=1 (87n), ?P# (88n), ?P= (89n).
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

template <bool Decimal>
constexpr void FillStatusTests(DispatchTable&)
{
}

} // namespace korvane
