// The one-bit right shift of a field (819fs, rSRB.f), a leaf of the 819
// stub.
#include <array>

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

} // namespace

// 819fs  rSRB.f
constinit const LeafTable<2, 9, 4> FieldShiftLeaves = {FieldShiftMode<false>(), FieldShiftMode<true>()};

} // namespace korvane
