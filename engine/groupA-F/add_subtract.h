// Add, subtract, increment and decrement over a field: r=r+s, r=r+r,
// s=s+r, r=r-1 (Aab with a 0-7, and Cb) and r=r-s, r=r+1, s=s-r, r=s-r (Bab
// with a 0-7, and Eb). Carry is the carry or borrow out of the field.
#pragma once

#include "engine/groupA-F/decimal_digits.h"
#include "engine/groupA-F/field_instruction.h"

namespace korvane {

// Dst = Dst + Src; with Dst and Src the same register this is r=r+r.
template <bool Decimal, Field F, Reg Dst, Reg Src>
void OpAdd()
{
    NibbleRegister& dst = Working<Dst>();
    const NibbleRegister& src = Working<Src>();
    if constexpr (Decimal) {
        // Every digit is rewritten as 0 to 9: a nibble above 9 in either
        // operand counts as its digit value and does not survive.
        using Word = DigitWord<F>;
        const unsigned lo = FieldLow<F>(), hi = FieldHigh<F>();
        const Word field = DigitFieldMask<Word>(lo, hi);
        unsigned carry;
        const Word sum = DecimalFieldSum(DigitValues(LoadDigits<Word>(dst)) & field,
                                         DigitValues(LoadDigits<Word>(src)) & field, 0, field, lo, hi, carry);
        StoreDigits(dst, field, sum);
        Cpu.Carry = static_cast<uint8_t>(carry);
    } else {
        const uint64_t mask = FieldMask64<F>();
        const uint64_t addend = Packed(dst) & mask;
        const uint64_t sum = addend + (Packed(src) & mask);
        Cpu.Carry = CarryOut(addend, sum, mask);
        StoreField(dst, mask, sum);
    }
    FinishInstruction<F>();
}

// Dst = Minuend - Subtrahend: r=r-s, s=s-r, and r=s-r (where the
// destination is the subtrahend).
template <bool Decimal, Field F, Reg Dst, Reg Minuend, Reg Subtrahend>
void OpSub()
{
    NibbleRegister& dst = Working<Dst>();
    const NibbleRegister& minuend = Working<Minuend>();
    const NibbleRegister& subtrahend = Working<Subtrahend>();
    if constexpr (Decimal) {
        // The minuend plus the nines' complement of the subtrahend plus one:
        // a digit that carries is one that did not borrow.
        using Word = DigitWord<F>;
        const unsigned lo = FieldLow<F>(), hi = FieldHigh<F>();
        const Word field = DigitFieldMask<Word>(lo, hi);
        unsigned carry;
        const Word difference =
            DecimalFieldSum(DigitValues(LoadDigits<Word>(minuend)) & field,
                            (field & RepeatByte<Word>(9)) - (DigitValues(LoadDigits<Word>(subtrahend)) & field), 1,
                            field, lo, hi, carry);
        StoreDigits(dst, field, difference);
        Cpu.Carry = static_cast<uint8_t>(carry ^ 1);
    } else {
        const uint64_t mask = FieldMask64<F>();
        const uint64_t a = Packed(minuend) & mask;
        const uint64_t b = Packed(subtrahend) & mask;
        Cpu.Carry = a < b;
        StoreField(dst, mask, a - b);
    }
    FinishInstruction<F>();
}

template <bool Decimal, Field F, Reg R>
void OpInc()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        // The carry stops at the first digit below 9; the digits above it
        // keep their nibbles as they are, non-decimal ones included.
        uint8_t carry = 1;
        for (unsigned k = FieldLow<F>(), high = FieldHigh<F>(); k <= high; ++k) {
            const unsigned t = DecimalDigitValue[r.Nibbles[k]] + 1u;
            if (t < 10) {
                r.Nibbles[k] = static_cast<uint8_t>(t);
                carry = 0;
                break;
            }
            r.Nibbles[k] = 0;
        }
        Cpu.Carry = carry;
    } else {
        const uint64_t mask = FieldMask64<F>();
        const uint64_t addend = Packed(r) & mask;
        const uint64_t sum = addend + FieldUnit(mask);
        Cpu.Carry = CarryOut(addend, sum, mask);
        StoreField(r, mask, sum);
    }
    FinishInstruction<F>();
}

template <bool Decimal, Field F, Reg R>
void OpDec()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        // The borrow stops at the first non-zero nibble (every non-zero
        // nibble counts as at least 1); the digits above it stay as they are.
        uint8_t borrow = 1;
        for (unsigned k = FieldLow<F>(), high = FieldHigh<F>(); k <= high; ++k) {
            if (r.Nibbles[k] != 0) {
                r.Nibbles[k] = static_cast<uint8_t>(DecimalDigitValue[r.Nibbles[k]] - 1);
                borrow = 0;
                break;
            }
            r.Nibbles[k] = 9;
        }
        Cpu.Carry = borrow;
    } else {
        const uint64_t mask = FieldMask64<F>();
        const uint64_t value = Packed(r) & mask;
        Cpu.Carry = value == 0;
        StoreField(r, mask, value - FieldUnit(mask));
    }
    FinishInstruction<F>();
}

// The first sets of groups A and B (and C, E on field A) for the register
// pair p = b & 3; the mnemonics list the members for p = 0 to 3.
template <bool Decimal, Field F, unsigned Pair>
constexpr void FillAddSubtract(DispatchTable& table)
{
    constexpr Reg r = RegisterPairs[Pair].R;
    constexpr Reg s = RegisterPairs[Pair].S;
    PlaceOperation<F>(table, 0xA, 0, 0x0 | Pair, &OpAdd<Decimal, F, r, s>);    // A=A+B B=B+C C=C+A D=D+C
    PlaceOperation<F>(table, 0xA, 0, 0x4 | Pair, &OpAdd<Decimal, F, r, r>);    // A=A+A B=B+B C=C+C D=D+D
    PlaceOperation<F>(table, 0xA, 0, 0x8 | Pair, &OpAdd<Decimal, F, s, r>);    // B=B+A C=C+B A=A+C C=C+D
    PlaceOperation<F>(table, 0xA, 0, 0xC | Pair, &OpDec<Decimal, F, r>);       // A=A-1 B=B-1 C=C-1 D=D-1
    PlaceOperation<F>(table, 0xB, 0, 0x0 | Pair, &OpSub<Decimal, F, r, r, s>); // A=A-B B=B-C C=C-A D=D-C
    PlaceOperation<F>(table, 0xB, 0, 0x4 | Pair, &OpInc<Decimal, F, r>);       // A=A+1 B=B+1 C=C+1 D=D+1
    PlaceOperation<F>(table, 0xB, 0, 0x8 | Pair, &OpSub<Decimal, F, s, s, r>); // B=B-A C=C-B A=A-C C=C-D
    PlaceOperation<F>(table, 0xB, 0, 0xC | Pair, &OpSub<Decimal, F, r, s, r>); // A=B-A B=C-B C=A-C D=C-D
}

} // namespace korvane
