// Bit tests of A and C with their GOYES/RTNYES tail: ?ABIT=0 (8086n),
// ?ABIT=1 (8087n), ?CBIT=0 (808An), ?CBIT=1 (808Bn), reached through the 808
// stub and the level that reads n. Bit n lies in nibbles 0 to 3; bits are
// tested, not digits, so decimal mode changes nothing.
#pragma once

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/decode/leaves.h"
#include "engine/group8-9/test_tail.h"

namespace korvane {

template <bool Decimal, Reg R, unsigned N>
bool BitOf()
{
    if constexpr (Decimal)
        return (Working<R>().Nibbles[N >> 2] >> (N & 3)) & 1;
    else
        return (Working<R>().PackedLow >> N) & 1;
}

// The offset follows the five opcode nibbles.
template <bool Decimal, Reg R, bool Set, unsigned N>
void OpTestBit()
{
    TestBranchTail(BitOf<Decimal, R, N>() == Set, 5, 50);
}

// 8086n, 8087n, 808An, 808Bn: the bit number is nibble 4.
template <bool Decimal, Reg R, bool Set>
void BitTestLevel()
{
    static constexpr LeafRow leaves =
        LeafRowOf([](auto n) -> InstructionHandler { return &OpTestBit<Decimal, R, Set, decltype(n)::value>; });
    leaves[OperandNibble(4)]();
}

} // namespace korvane
