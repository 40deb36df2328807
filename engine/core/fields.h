// The nine fields of a working register and the masks by which the
// hexadecimal handlers select them, the working registers by number, and the
// views of a register that several families share.
#pragma once

#include <cstdint>

#include "engine/core/cpu_state.h"

namespace korvane {

enum class Field : uint8_t { P = 0, WP = 1, XS = 2, X = 3, S = 4, M = 5, B = 6, W = 7, A = 8 };

// Field nibble codes of 0E, 15, 818, 819 and 81A: 8 to F all mean A.
constexpr Field FieldFromCode(unsigned code)
{
    return code >= 8 ? Field::A : static_cast<Field>(code);
}

constexpr unsigned FieldIndex(Field f)
{
    return static_cast<unsigned>(f);
}

// Nibble k of one packed word, and nibbles 0 to k of one packed word.
inline constexpr uint32_t NibbleMasks[8] = {0x0000000F, 0x000000F0, 0x00000F00, 0x0000F000,
                                            0x000F0000, 0x00F00000, 0x0F000000, 0xF0000000};
inline constexpr uint32_t WpMasks[8] = {0x0000000F, 0x000000FF, 0x00000FFF, 0x0000FFFF,
                                        0x000FFFFF, 0x00FFFFFF, 0x0FFFFFFF, 0xFFFFFFFF};

struct FieldMask {
    uint32_t Low;  // mask over PackedLow
    uint32_t High; // mask over PackedHigh
};

// The field's masks; P and WP follow the current P.
template <Field F>
inline FieldMask MaskOf()
{
    if constexpr (F == Field::P) {
        return Cpu.PShift < 32 ? FieldMask{NibbleMasks[Cpu.P], 0} : FieldMask{0, NibbleMasks[Cpu.P - 8]};
    } else if constexpr (F == Field::WP) {
        return Cpu.PShift < 32 ? FieldMask{WpMasks[Cpu.P], 0} : FieldMask{0xFFFFFFFF, WpMasks[Cpu.P - 8]};
    } else if constexpr (F == Field::XS) {
        return {0x00000F00, 0};
    } else if constexpr (F == Field::X) {
        return {0x00000FFF, 0};
    } else if constexpr (F == Field::S) {
        return {0, 0xF0000000};
    } else if constexpr (F == Field::M) {
        return {0xFFFFF000, 0x0FFFFFFF};
    } else if constexpr (F == Field::B) {
        return {0x000000FF, 0};
    } else if constexpr (F == Field::W) {
        return {0xFFFFFFFF, 0xFFFFFFFF};
    } else {
        return {0x000FFFFF, 0};
    }
}

// Lowest and highest nibble of the field (P and WP follow the current P).
template <Field F>
inline unsigned FieldLow()
{
    if constexpr (F == Field::P)
        return Cpu.P;
    else if constexpr (F == Field::XS)
        return 2;
    else if constexpr (F == Field::S)
        return 15;
    else if constexpr (F == Field::M)
        return 3;
    else
        return 0;
}

template <Field F>
inline unsigned FieldHigh()
{
    if constexpr (F == Field::P || F == Field::WP)
        return Cpu.P;
    else if constexpr (F == Field::XS)
        return 2;
    else if constexpr (F == Field::X)
        return 2;
    else if constexpr (F == Field::S || F == Field::W)
        return 15;
    else if constexpr (F == Field::M)
        return 14;
    else if constexpr (F == Field::B)
        return 1;
    else
        return 4;
}

// Number of nibbles in the field; for WP it follows P, and with it the cost.
template <Field F>
inline uint32_t FieldLength()
{
    if constexpr (F == Field::WP)
        return Cpu.P + 1u;
    else
        return FieldHigh<F>() - FieldLow<F>() + 1u;
}

// The working registers by number, for handler templates.
enum class Reg : uint8_t { A = 0, B = 1, C = 2, D = 3 };

template <Reg R>
inline NibbleRegister& Working()
{
    if constexpr (R == Reg::A)
        return Cpu.A;
    else if constexpr (R == Reg::B)
        return Cpu.B;
    else if constexpr (R == Reg::C)
        return Cpu.C;
    else
        return Cpu.D;
}

// C's nibbles 0-2 as one 12-bit value, in the live form: what ST=C, C=ST,
// CSTEX, OUT=C and OUT=CS move.
template <bool Decimal>
uint32_t ReadCLow12()
{
    if constexpr (Decimal)
        return Cpu.C.Nibbles[0] | Cpu.C.Nibbles[1] << 4 | Cpu.C.Nibbles[2] << 8;
    else
        return Cpu.C.PackedLow & 0xFFF;
}

template <bool Decimal>
void WriteCLow12(uint32_t value)
{
    if constexpr (Decimal) {
        Cpu.C.Nibbles[0] = value & 15;
        Cpu.C.Nibbles[1] = (value >> 4) & 15;
        Cpu.C.Nibbles[2] = (value >> 8) & 15;
    } else {
        Cpu.C.PackedLow = (Cpu.C.PackedLow & ~0xFFFu) | (value & 0xFFF);
    }
}

} // namespace korvane
