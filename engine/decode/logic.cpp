// The AND and OR handlers of 0Efo and the leaf table their stubs index.
#include "engine/core/cpu_state.h"
#include "engine/core/fields.h"
#include "engine/decode/leaves.h"
#include "engine/decode/logic.h"

namespace korvane {

namespace {

// Hexadecimal members work on whole words: AND lets the destination keep the
// nibbles outside the field by widening the source with the inverted mask,
// OR lets through only the source's bits inside the field. Only P and WP
// consult P, through the mask and the cost.
template <bool Decimal, Reg Dst, Reg Src, Field F>
void OpAnd()
{
    NibbleRegister& dst = Working<Dst>();
    const NibbleRegister& src = Working<Src>();
    if constexpr (Decimal) {
        const unsigned high = FieldHigh<F>();
        for (unsigned k = FieldLow<F>(); k <= high; ++k)
            dst.Nibbles[k] &= src.Nibbles[k];
    } else {
        const FieldMask mask = MaskOf<F>();
        dst.PackedLow &= ~mask.Low | src.PackedLow;
        dst.PackedHigh &= ~mask.High | src.PackedHigh;
    }
    Cpu.PC += 4;
    Cpu.SliceCycles += 24 + 4 * FieldLength<F>();
}

template <bool Decimal, Reg Dst, Reg Src, Field F>
void OpOr()
{
    NibbleRegister& dst = Working<Dst>();
    const NibbleRegister& src = Working<Src>();
    if constexpr (Decimal) {
        const unsigned high = FieldHigh<F>();
        for (unsigned k = FieldLow<F>(); k <= high; ++k)
            dst.Nibbles[k] |= src.Nibbles[k];
    } else {
        const FieldMask mask = MaskOf<F>();
        dst.PackedLow |= src.PackedLow & mask.Low;
        dst.PackedHigh |= src.PackedHigh & mask.High;
    }
    Cpu.PC += 4;
    Cpu.SliceCycles += 24 + 4 * FieldLength<F>();
}

// 0Efo for one field, by the operation nibble o.
template <bool Decimal, Field F>
constexpr LeafRow AndOrOperations()
{
    return {{
        &OpAnd<Decimal, Reg::A, Reg::B, F>, // 0  A=A&B
        &OpAnd<Decimal, Reg::B, Reg::C, F>, // 1  B=B&C
        &OpAnd<Decimal, Reg::C, Reg::A, F>, // 2  C=C&A
        &OpAnd<Decimal, Reg::D, Reg::C, F>, // 3  D=D&C
        &OpAnd<Decimal, Reg::B, Reg::A, F>, // 4  B=B&A
        &OpAnd<Decimal, Reg::C, Reg::B, F>, // 5  C=C&B
        &OpAnd<Decimal, Reg::A, Reg::C, F>, // 6  A=A&C
        &OpAnd<Decimal, Reg::C, Reg::D, F>, // 7  C=C&D
        &OpOr<Decimal, Reg::A, Reg::B, F>,  // 8  A=A!B
        &OpOr<Decimal, Reg::B, Reg::C, F>,  // 9  B=B!C
        &OpOr<Decimal, Reg::C, Reg::A, F>,  // A  C=C!A
        &OpOr<Decimal, Reg::D, Reg::C, F>,  // B  D=D!C
        &OpOr<Decimal, Reg::B, Reg::A, F>,  // C  B=B!A
        &OpOr<Decimal, Reg::C, Reg::B, F>,  // D  C=C!B
        &OpOr<Decimal, Reg::A, Reg::C, F>,  // E  A=A!C
        &OpOr<Decimal, Reg::C, Reg::D, F>,  // F  C=C!D
    }};
}

// By field nibble f: 8 to F all reach the same field-A row.
template <bool Decimal>
consteval LeafTable<16, 16> AndOrByFieldCode()
{
    return RowsByFieldCode([](auto field) { return AndOrOperations<Decimal, decltype(field)::value>(); });
}

constexpr LeafTable<2, 16, 16> BuildAndOrLeaves()
{
    return {AndOrByFieldCode<false>(), AndOrByFieldCode<true>()};
}

} // namespace

constinit const LeafTable<2, 16, 16> AndOrLeaves = BuildAndOrLeaves();

} // namespace korvane
