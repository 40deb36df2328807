// Nibble rotates of whole registers (810-817) and one-bit right shifts of
// whole registers (81C-81F). The field shifts (819fs) and the bit set and
// clear (8084n-8089n) are leaves of the stubs, in field_shifts.cpp and
// bit_set_clear.cpp.
//
// What leaves the bottom on a right move is reported in SB, which these
// instructions only ever set; they touch no other flag.
#pragma once

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

template <bool Decimal, Reg R>
void OpRotateLeftNibble()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        const uint8_t top = r.Nibbles[15];
        for (unsigned k = 15; k > 0; --k)
            r.Nibbles[k] = r.Nibbles[k - 1];
        r.Nibbles[0] = top;
    } else {
        const uint32_t low = r.PackedLow;
        const uint32_t high = r.PackedHigh;
        r.PackedLow = (low << 4) | (high >> 28);
        r.PackedHigh = (high << 4) | (low >> 28);
    }
    Cpu.PC += 3;
    Cpu.SliceCycles += 90;
}

template <bool Decimal, Reg R>
void OpRotateRightNibble()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        const uint8_t bottom = r.Nibbles[0];
        if (bottom)
            Cpu.HST |= HstSB;
        for (unsigned k = 0; k < 15; ++k)
            r.Nibbles[k] = r.Nibbles[k + 1];
        r.Nibbles[15] = bottom;
    } else {
        const uint32_t low = r.PackedLow;
        const uint32_t high = r.PackedHigh;
        if (low & 0xF)
            Cpu.HST |= HstSB;
        r.PackedLow = (low >> 4) | (high << 28);
        r.PackedHigh = (high >> 4) | (low << 28);
    }
    Cpu.PC += 3;
    Cpu.SliceCycles += 90;
}

template <bool Decimal, Reg R>
void OpShiftRightBit()
{
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        if (r.Nibbles[0] & 1)
            Cpu.HST |= HstSB;
        for (unsigned k = 0; k < 15; ++k)
            r.Nibbles[k] = static_cast<uint8_t>((r.Nibbles[k] >> 1) | (r.Nibbles[k + 1] & 1) << 3);
        r.Nibbles[15] >>= 1;
    } else {
        const uint32_t low = r.PackedLow;
        const uint32_t high = r.PackedHigh;
        if (low & 1)
            Cpu.HST |= HstSB;
        r.PackedLow = (low >> 1) | (high << 31);
        r.PackedHigh = high >> 1;
    }
    Cpu.PC += 3;
    Cpu.SliceCycles += 86;
}

template <bool Decimal>
constexpr void FillRotatesShifts(DispatchTable& table)
{
    FillOpcode(table, 0x8, 0x1, 0x0, &OpRotateLeftNibble<Decimal, Reg::A>);  // 810  ASLC
    FillOpcode(table, 0x8, 0x1, 0x1, &OpRotateLeftNibble<Decimal, Reg::B>);  // 811  BSLC
    FillOpcode(table, 0x8, 0x1, 0x2, &OpRotateLeftNibble<Decimal, Reg::C>);  // 812  CSLC
    FillOpcode(table, 0x8, 0x1, 0x3, &OpRotateLeftNibble<Decimal, Reg::D>);  // 813  DSLC
    FillOpcode(table, 0x8, 0x1, 0x4, &OpRotateRightNibble<Decimal, Reg::A>); // 814  ASRC
    FillOpcode(table, 0x8, 0x1, 0x5, &OpRotateRightNibble<Decimal, Reg::B>); // 815  BSRC
    FillOpcode(table, 0x8, 0x1, 0x6, &OpRotateRightNibble<Decimal, Reg::C>); // 816  CSRC
    FillOpcode(table, 0x8, 0x1, 0x7, &OpRotateRightNibble<Decimal, Reg::D>); // 817  DSRC
    FillOpcode(table, 0x8, 0x1, 0xC, &OpShiftRightBit<Decimal, Reg::A>);     // 81C  ASRB
    FillOpcode(table, 0x8, 0x1, 0xD, &OpShiftRightBit<Decimal, Reg::B>);     // 81D  BSRB
    FillOpcode(table, 0x8, 0x1, 0xE, &OpShiftRightBit<Decimal, Reg::C>);     // 81E  CSRB
    FillOpcode(table, 0x8, 0x1, 0xF, &OpShiftRightBit<Decimal, Reg::D>);     // 81F  DSRB
}

} // namespace korvane
