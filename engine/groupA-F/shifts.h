// Shifts and complements over a field: rSL, rSR, r=-r and r=-r-1 (Bab with
// a 8-F, and Fb). Shifts move raw nibbles with 0 entering; the decimal
// complements read digits through DecimalDigitValue.
#pragma once

#include "engine/groupA-F/decimal_digits.h"
#include "engine/groupA-F/field_instruction.h"
#include "engine/groupA-F/moves.h"

namespace korvane {

// The field's top nibble is lost without a trace: Carry and HST stay.
template <bool Decimal, Field F, Reg R>
void OpShiftLeft()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        const unsigned low = FieldLow<F>();
        for (unsigned k = FieldHigh<F>(); k > low; --k)
            r.Nibbles[k] = r.Nibbles[k - 1];
        r.Nibbles[low] = 0;
    } else {
        const uint64_t mask = FieldMask64<F>();
        StoreField(r, mask, (Packed(r) & mask) << 4);
    }
    FinishInstruction<F>();
}

// SB records that a non-zero nibble was shifted out; nothing here clears it.
template <bool Decimal, Field F, Reg R>
void OpShiftRight()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        const unsigned low = FieldLow<F>();
        const unsigned high = FieldHigh<F>();
        if (r.Nibbles[low] != 0)
            Cpu.HST |= HstSB;
        for (unsigned k = low; k < high; ++k)
            r.Nibbles[k] = r.Nibbles[k + 1];
        r.Nibbles[high] = 0;
    } else {
        const uint64_t mask = FieldMask64<F>();
        const uint64_t value = Packed(r) & mask;
        if (value & (FieldUnit(mask) * 15))
            Cpu.HST |= HstSB;
        StoreField(r, mask, value >> 4);
    }
    FinishInstruction<F>();
}

// Two's complement, or ten's complement in decimal mode; Carry tells
// whether the field was not zero.
template <bool Decimal, Field F, Reg R>
void OpNegate()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        // Zero nibbles below the first non-zero one stay zero; that one
        // becomes 10 minus its digit value, every higher one 9 minus its own.
        unsigned k = FieldLow<F>();
        const unsigned high = FieldHigh<F>();
        while (k <= high && r.Nibbles[k] == 0)
            ++k;
        Cpu.Carry = k <= high;
        if (k <= high) {
            r.Nibbles[k] = static_cast<uint8_t>(10 - DecimalDigitValue[r.Nibbles[k]]);
            while (++k <= high)
                r.Nibbles[k] = static_cast<uint8_t>(9 - DecimalDigitValue[r.Nibbles[k]]);
        }
    } else {
        const uint64_t mask = FieldMask64<F>();
        const uint64_t value = Packed(r) & mask;
        Cpu.Carry = value != 0;
        StoreField(r, mask, 0 - value);
    }
    FinishInstruction<F>();
}

// One's complement, or nine's complement in decimal mode; Carry becomes 0.
template <bool Decimal, Field F, Reg R>
void OpComplement()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        for (unsigned k = FieldLow<F>(), high = FieldHigh<F>(); k <= high; ++k)
            r.Nibbles[k] = static_cast<uint8_t>(9 - DecimalDigitValue[r.Nibbles[k]]);
    } else {
        StoreField(r, FieldMask64<F>(), ~Packed(r));
    }
    Cpu.Carry = 0;
    FinishInstruction<F>();
}

// rSL on the one-nibble fields S and XS is r=0's handler; field P keeps a
// handler of its own.
template <bool Decimal, Field F, Reg R>
constexpr InstructionHandler ShiftLeftHandler()
{
    if constexpr (F == Field::S || F == Field::XS)
        return &OpEq0<Decimal, F, R>;
    else
        return &OpShiftLeft<Decimal, F, R>;
}

// The second set of group B (and F on field A) for the register pair
// p = b & 3; these work on the pair's first register, A to D.
template <bool Decimal, Field F, unsigned Pair>
constexpr void FillShifts(DispatchTable& table)
{
    constexpr Reg r = RegisterPairs[Pair].R;
    PlaceOperation<F>(table, 0xB, 1, 0x0 | Pair, ShiftLeftHandler<Decimal, F, r>()); // ASL BSL CSL DSL
    PlaceOperation<F>(table, 0xB, 1, 0x4 | Pair, &OpShiftRight<Decimal, F, r>);      // ASR BSR CSR DSR
    PlaceOperation<F>(table, 0xB, 1, 0x8 | Pair, &OpNegate<Decimal, F, r>);          // A=-A B=-B C=-C D=-D
    PlaceOperation<F>(table, 0xB, 1, 0xC | Pair, &OpComplement<Decimal, F, r>);      // A=-A-1 B=-B-1 C=-C-1 D=-D-1
}

} // namespace korvane
