// Bit tests of A and C with their GOYES/RTNYES tail: ?ABIT=0 (8086n),
// ?ABIT=1 (8087n), ?CBIT=0 (808An), ?CBIT=1 (808Bn). Bit n lies in nibbles
// 0 to 3; bits are tested, not digits, so decimal mode changes nothing.
#include <utility>

#include "engine/core/cpu_state.h"
#include "engine/core/fields.h"
#include "engine/decode/leaves.h"
#include "engine/group8-9/test_tail.h"

namespace korvane {

namespace {

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

using BitRow = std::array<InstructionHandler, 16>;

template <bool Decimal, Reg R, bool Set, unsigned... N>
constexpr BitRow BitRowOf(std::integer_sequence<unsigned, N...>)
{
    return {&OpTestBit<Decimal, R, Set, N>...};
}

template <bool Decimal>
constexpr std::array<BitRow, 4> BitTestsOf()
{
    constexpr auto bits = std::make_integer_sequence<unsigned, 16>{};
    return {
        BitRowOf<Decimal, Reg::A, false>(bits), // 8086n  ?ABIT=0 n
        BitRowOf<Decimal, Reg::A, true>(bits),  // 8087n  ?ABIT=1 n
        BitRowOf<Decimal, Reg::C, false>(bits), // 808An  ?CBIT=0 n
        BitRowOf<Decimal, Reg::C, true>(bits),  // 808Bn  ?CBIT=1 n
    };
}

} // namespace

constinit const LeafTable<2, 4, 16> BitTestLeaves = {BitTestsOf<false>(), BitTestsOf<true>()};

} // namespace korvane
