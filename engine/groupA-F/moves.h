// Clear, copy and exchange over a field: r=0, r=s, s=r and rsEX (Aab with
// a 8-F, and Db). They move nibbles as they are, digits above 9 included,
// and leave Carry and HST alone.
#pragma once

#include "engine/groupA-F/field_instruction.h"

namespace korvane {

// On the one-nibble fields S and XS this is also rSL: shifting one nibble
// left clears it, so this handler stands in both slots there.
template <bool Decimal, Field F, Reg R>
void OpEq0()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        for (unsigned k = FieldLow<F>(), high = FieldHigh<F>(); k <= high; ++k)
            r.Nibbles[k] = 0;
    } else {
        StoreField(r, FieldMask64<F>(), 0);
    }
    FinishInstruction<F>();
}

template <bool Decimal, Field F, Reg Dst, Reg Src>
void OpEq()
{
    NibbleRegister& dst = Working<Dst>();
    const NibbleRegister& src = Working<Src>();
    if constexpr (Decimal) {
        for (unsigned k = FieldLow<F>(), high = FieldHigh<F>(); k <= high; ++k)
            dst.Nibbles[k] = src.Nibbles[k];
    } else {
        StoreField(dst, FieldMask64<F>(), Packed(src));
    }
    FinishInstruction<F>();
}

template <bool Decimal, Field F, Reg R, Reg S>
void OpEx()
{
    NibbleRegister& r = Working<R>();
    NibbleRegister& s = Working<S>();
    if constexpr (Decimal) {
        for (unsigned k = FieldLow<F>(), high = FieldHigh<F>(); k <= high; ++k) {
            const uint8_t t = r.Nibbles[k];
            r.Nibbles[k] = s.Nibbles[k];
            s.Nibbles[k] = t;
        }
    } else {
        const uint64_t mask = FieldMask64<F>();
        const uint64_t old = Packed(r);
        StoreField(r, mask, Packed(s));
        StoreField(s, mask, old);
    }
    FinishInstruction<F>();
}

// The second set of group A (and D on field A) for the register pair
// p = b & 3; the mnemonics list the members for p = 0 to 3.
template <bool Decimal, Field F, unsigned Pair>
constexpr void FillMoves(DispatchTable& table)
{
    constexpr Reg r = RegisterPairs[Pair].R;
    constexpr Reg s = RegisterPairs[Pair].S;
    PlaceOperation<F>(table, 0xA, 1, 0x0 | Pair, &OpEq0<Decimal, F, r>);   // A=0 B=0 C=0 D=0
    PlaceOperation<F>(table, 0xA, 1, 0x4 | Pair, &OpEq<Decimal, F, r, s>); // A=B B=C C=A D=C
    PlaceOperation<F>(table, 0xA, 1, 0x8 | Pair, &OpEq<Decimal, F, s, r>); // B=A C=B A=C C=D
    PlaceOperation<F>(table, 0xA, 1, 0xC | Pair, &OpEx<Decimal, F, r, s>); // ABEX BCEX CAEX DCEX
}

} // namespace korvane
