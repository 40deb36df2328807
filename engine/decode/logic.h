// AND and OR on fields (0Efo). One stub per field nibble f selects the
// operation by the fourth nibble o; the handlers live in logic.cpp.
#pragma once

#include "engine/core/dispatch.h"
#include "engine/decode/leaves.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

template <bool Decimal, unsigned F>
void SubDecode0E()
{
    AndOrLeaves[ModeIndex(Decimal)][F][OperandNibble(3)]();
}

template <bool Decimal, unsigned F = 0>
constexpr void FillLogic(DispatchTable& table)
{
    if constexpr (F < 16) {
        FillOpcode(table, 0x0, 0xE, F, &SubDecode0E<Decimal, F>); // 0Ef  AND/OR on field f
        FillLogic<Decimal, F + 1>(table);
    }
}

} // namespace korvane
