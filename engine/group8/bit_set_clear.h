// The bit set and clear of A and C (8084n ABIT=0, 8085n ABIT=1, 8088n
// CBIT=0, 8089n CBIT=1): one leaf per bit, reached through the 808 stub and
// the level that reads n.
#pragma once

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/decode/leaves.h"

namespace korvane {

// Bits 0-15 only: the bit number is one nibble.
template <bool Decimal, Reg R, bool Set, unsigned Bit>
void OpAssignBit()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        constexpr uint8_t mask = 1u << (Bit & 3);
        if constexpr (Set)
            r.Nibbles[Bit >> 2] |= mask;
        else
            r.Nibbles[Bit >> 2] &= static_cast<uint8_t>(~mask);
    } else {
        constexpr uint32_t mask = 1u << Bit;
        if constexpr (Set)
            r.PackedLow |= mask;
        else
            r.PackedLow &= ~mask;
    }
    Cpu.PC += 5;
    Cpu.SliceCycles += 30;
}

// 8084n, 8085n, 8088n, 8089n: the bit number is nibble 4.
template <bool Decimal, Reg R, bool Set>
void BitAssignLevel()
{
    static constexpr LeafRow leaves =
        LeafRowOf([](auto n) -> InstructionHandler { return &OpAssignBit<Decimal, R, Set, decltype(n)::value>; });
    leaves[OperandNibble(4)]();
}

} // namespace korvane
