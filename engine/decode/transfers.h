// Memory transfers between A or C and memory at D0 or D1: 14x on fields A
// and B, and 15xy through one stub per x that selects by the fourth nibble.
#pragma once

#include "engine/core/dispatch.h"
#include "engine/decode/leaves.h"

namespace korvane {

template <bool Decimal, unsigned X>
void SubDecode15()
{
    MemoryTransferLeaves[Decimal ? 1 : 0][X][OperandNibble(3)]();
}

template <bool Decimal, unsigned X = 0>
constexpr void FillTransferStubs(DispatchTable& table)
{
    if constexpr (X < 16) {
        FillOpcode(table, 0x1, 0x5, X, &SubDecode15<Decimal, X>); // 15x  DATn=r / r=DATn on a field or count
        FillTransferStubs<Decimal, X + 1>(table);
    }
}

template <bool Decimal>
constexpr void FillTransfers(DispatchTable& table)
{
    FillTransferStubs<Decimal>(table);
}

} // namespace korvane
