// The one-bit right shift of a field (819fs, rSRB.f), a leaf of the 819
// stub.
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

// 819fs on one field, by s.
template <bool Decimal, Field F>
constexpr LeafRow ShiftsOn()
{
    return {
        &OpShiftFieldRight<Decimal, F, Reg::A>, // 819f0  ASRB.f
        &OpShiftFieldRight<Decimal, F, Reg::B>, // 819f1  BSRB.f
        &OpShiftFieldRight<Decimal, F, Reg::C>, // 819f2  CSRB.f
        &OpShiftFieldRight<Decimal, F, Reg::D>, // 819f3  DSRB.f
        &OpNoInstruction,                       // 819f4
        &OpNoInstruction,                       // 819f5
        &OpNoInstruction,                       // 819f6
        &OpNoInstruction,                       // 819f7
        &OpNoInstruction,                       // 819f8
        &OpNoInstruction,                       // 819f9
        &OpNoInstruction,                       // 819fA
        &OpNoInstruction,                       // 819fB
        &OpNoInstruction,                       // 819fC
        &OpNoInstruction,                       // 819fD
        &OpNoInstruction,                       // 819fE
        &OpNoInstruction,                       // 819fF
    };
}

template <bool Decimal>
consteval LeafTable<16, 16> ShiftsByField()
{
    return RowsByFieldCode([](auto field) { return ShiftsOn<Decimal, decltype(field)::value>(); });
}

} // namespace

constinit const LeafTable<2, 16, 16> FieldShiftLeaves = {ShiftsByField<false>(), ShiftsByField<true>()};

} // namespace korvane
