// The bit set and clear of A and C (8084n ABIT=0, 8085n ABIT=1, 8088n
// CBIT=0, 8089n CBIT=1), leaves of the 808 stub.
#include <array>
#include <utility>

#include "engine/core/cpu_state.h"
#include "engine/core/fields.h"
#include "engine/decode/leaves.h"

namespace korvane {

namespace {

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

using BitRow = std::array<InstructionHandler, 16>;

template <bool Decimal, Reg R, bool Set, std::size_t... Bit>
constexpr BitRow BitAssignRow(std::index_sequence<Bit...>)
{
    return {&OpAssignBit<Decimal, R, Set, Bit>...};
}

template <bool Decimal>
constexpr std::array<BitRow, 4> BitAssignMode()
{
    constexpr auto bits = std::make_index_sequence<16>{};
    return {
        BitAssignRow<Decimal, Reg::A, false>(bits), // 8084n  ABIT=0 n
        BitAssignRow<Decimal, Reg::A, true>(bits),  // 8085n  ABIT=1 n
        BitAssignRow<Decimal, Reg::C, false>(bits), // 8088n  CBIT=0 n
        BitAssignRow<Decimal, Reg::C, true>(bits),  // 8089n  CBIT=1 n
    };
}

} // namespace

// 8084n, 8085n, 8088n, 8089n
constinit const LeafTable<2, 4, 16> BitAssignLeaves = {BitAssignMode<false>(), BitAssignMode<true>()};

} // namespace korvane
