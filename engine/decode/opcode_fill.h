// How a family of instructions fills its entries of a dispatch table, at
// build time: a one-nibble opcode occupies the 256 entries that share its
// first nibble, a two-nibble opcode 16, a three-nibble opcode one.
#pragma once

#include "engine/core/dispatch.h"

namespace korvane {

constexpr void FillOpcode(DispatchTable& table, unsigned n0, InstructionHandler handler)
{
    for (unsigned i = 0; i < 256; ++i)
        table[DispatchIndex(n0, i & 15, i >> 4)] = handler;
}

constexpr void FillOpcode(DispatchTable& table, unsigned n0, unsigned n1, InstructionHandler handler)
{
    for (unsigned n2 = 0; n2 < 16; ++n2)
        table[DispatchIndex(n0, n1, n2)] = handler;
}

constexpr void FillOpcode(DispatchTable& table, unsigned n0, unsigned n1, unsigned n2, InstructionHandler handler)
{
    table[DispatchIndex(n0, n1, n2)] = handler;
}

} // namespace korvane
