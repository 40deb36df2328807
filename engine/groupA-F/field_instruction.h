// What every handler of groups A to F shares: the register pairs, the
// instruction's length and cost, where an operation lands in the dispatch
// table, and the 64-bit view of a register through which the hexadecimal
// members compute.
#pragma once

#include <cstdint>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

// The two registers an operation names, by the low two bits of its
// operation nibble. One-register operations use R.
struct RegisterPair {
    Reg R;
    Reg S;
};

inline constexpr RegisterPair RegisterPairs[4] = {
    {Reg::A, Reg::B}, // 0
    {Reg::B, Reg::C}, // 1
    {Reg::C, Reg::A}, // 2
    {Reg::D, Reg::C}, // 3
};

// Groups A and B name a field in their second nibble and are three nibbles
// long; C to F always work on field A and are two.
template <Field F>
constexpr uint32_t InstructionLength()
{
    return F == Field::A ? 2 : 3;
}

// 18 cycles and 4 per nibble of the field, whatever the data; field A
// (groups C to F) costs 32, not the 38 that rule would give.
template <Field F>
inline uint32_t InstructionCost()
{
    if constexpr (F == Field::A)
        return 32;
    else if constexpr (F == Field::WP)
        return 22 + Cpu.PShift; // 18 + 4 * (P + 1)
    else
        return 18 + 4 * FieldLength<F>();
}

template <Field F>
inline void FinishInstruction()
{
    Cpu.PC += InstructionLength<F>();
    Cpu.SliceCycles += InstructionCost<F>();
}

// Operation nibble b of a set (0 for a = 0-7, 1 for a = 8-F) of group A or
// B lands at G a b for the eight fields; on field A at Cb and Db (group A,
// sets 0 and 1) or Eb and Fb (group B), in all 16 entries of the third nibble.
template <Field F>
constexpr void PlaceOperation(DispatchTable& table, unsigned group, unsigned set, unsigned b,
                              InstructionHandler handler)
{
    if constexpr (F == Field::A)
        FillOpcode(table, 0xC + 2 * (group - 0xA) + set, b, handler);
    else
        FillOpcode(table, group, FieldIndex(F) + 8 * set, b, handler);
}

// The hexadecimal members see a register as one 64-bit number made of its
// packed words and a field as a mask over it. Arithmetic on masked values
// then carries or borrows across the seam between nibbles 7 and 8 by itself,
// and the carry out of a field at bits 28 to 31 is just the next bit.
inline uint64_t Packed(const NibbleRegister& r)
{
    return uint64_t{r.PackedHigh} << 32 | r.PackedLow;
}

// The field's mask; P and WP take it from the mask tables by the current P.
template <Field F>
inline uint64_t FieldMask64()
{
    const FieldMask mask = MaskOf<F>();
    return uint64_t{mask.High} << 32 | mask.Low;
}

// The value 1 in the field's lowest nibble.
constexpr uint64_t FieldUnit(uint64_t mask)
{
    return mask & (~mask + 1);
}

// Writes the field's bits of value; every nibble outside the mask keeps its value.
inline void StoreField(NibbleRegister& r, uint64_t mask, uint64_t value)
{
    const uint64_t merged = (Packed(r) & ~mask) | (value & mask);
    r.PackedLow = static_cast<uint32_t>(merged);
    r.PackedHigh = static_cast<uint32_t>(merged >> 32);
}

// The carry out of a sum of two masked values: above the mask, or, for a
// field that ends at nibble 15, a wrap of the 64-bit sum.
constexpr uint8_t CarryOut(uint64_t addend, uint64_t sum, uint64_t mask)
{
    return (sum < addend) | (sum > mask);
}

} // namespace korvane
