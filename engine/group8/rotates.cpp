// Leaves of the group 8 stubs that move bits of a working register: the
// one-bit right shift of a field (819fs, rSRB.f) and the bit set and clear
// of A and C (8084n ABIT=0, 8085n ABIT=1, 8088n CBIT=0, 8089n CBIT=1).
#include <utility>

#include "engine/core/cpu_state.h"
#include "engine/core/fields.h"
#include "engine/decode/leaves.h"

namespace korvane {

namespace {

// The field is one unsigned number: each nibble's bit 0 enters the bit 3 of
// the nibble below, the field's top bit becomes 0 and its bit 0 leaves
// through SB. Nothing crosses the field's edges.
template <bool Decimal, Field F, Reg R>
void OpShiftFieldRight()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        const unsigned low = FieldLow<F>();
        const unsigned high = FieldHigh<F>();
        if (r.Nibbles[low] & 1)
            Cpu.HST |= HstSB;
        for (unsigned k = low; k < high; ++k)
            r.Nibbles[k] = static_cast<uint8_t>((r.Nibbles[k] >> 1) | (r.Nibbles[k + 1] & 1) << 3);
        r.Nibbles[high] >>= 1;
    } else {
        const FieldMask m = MaskOf<F>();
        const uint64_t mask = uint64_t{m.High} << 32 | m.Low;
        const uint64_t value = uint64_t{r.PackedHigh} << 32 | r.PackedLow;
        if (value & mask & (~mask + 1)) // the field's lowest bit
            Cpu.HST |= HstSB;
        const uint64_t shifted = (value & ~mask) | (((value & mask) >> 1) & mask);
        r.PackedLow = static_cast<uint32_t>(shifted);
        r.PackedHigh = static_cast<uint32_t>(shifted >> 32);
    }
    Cpu.PC += 5;
    Cpu.SliceCycles += 34 + 4 * FieldLength<F>();
}

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

using FieldShiftRow = std::array<std::array<InstructionHandler, 4>, 9>;

// [field index][s]: s 0-3 is ASRB, BSRB, CSRB, DSRB on that field.
template <bool Decimal, unsigned I = 0>
constexpr void FillFieldShifts(FieldShiftRow& row)
{
    if constexpr (I < 9 * 4) {
        row[I / 4][I % 4] = &OpShiftFieldRight<Decimal, static_cast<Field>(I / 4), static_cast<Reg>(I % 4)>;
        FillFieldShifts<Decimal, I + 1>(row);
    }
}

template <bool Decimal>
constexpr FieldShiftRow FieldShiftMode()
{
    FieldShiftRow row{};
    FillFieldShifts<Decimal>(row);
    return row;
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

// 819fs  rSRB.f
constinit const LeafTable<2, 9, 4> FieldShiftLeaves = {FieldShiftMode<false>(), FieldShiftMode<true>()};
// 8084n, 8085n, 8088n, 8089n
constinit const LeafTable<2, 4, 16> BitAssignLeaves = {BitAssignMode<false>(), BitAssignMode<true>()};

} // namespace korvane
