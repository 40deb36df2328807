// Data pointer instructions: D0/D1 from and with A/C (13x), add and subtract
// (16x, 17x, 18x, 1Cx), immediate loads (19, 1A, 1B, 1D, 1E, 1F). The pointer
// is a template argument naming its member of CpuState: &CpuState::D0 or
// &CpuState::D1.
#pragma once

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

using PointerMember = uint32_t CpuState::*;

// The carry reports the pass over 0xFFFFF either way: a difference below
// zero wraps far above it in 32 bits.
template <PointerMember Ptr, uint32_t K>
void OpPointerAdd()
{
    const uint32_t v = Cpu.*Ptr + K;
    Cpu.Carry = v > 0xFFFFF;
    Cpu.*Ptr = v & 0xFFFFF;
    Cpu.PC += 3;
    Cpu.SliceCycles += 34;
}

template <PointerMember Ptr, uint32_t K>
void OpPointerSubtract()
{
    const uint32_t v = Cpu.*Ptr - K;
    Cpu.Carry = v > 0xFFFFF;
    Cpu.*Ptr = v & 0xFFFFF;
    Cpu.PC += 3;
    Cpu.SliceCycles += 34;
}

// Nibbles 0 to 3 of a working register in its live form, for the four-nibble
// pointer transfers.
template <bool Decimal>
inline uint32_t ReadShortAddress(const NibbleRegister& r)
{
    if constexpr (Decimal)
        return r.Nibbles[0] | r.Nibbles[1] << 4 | r.Nibbles[2] << 8 | r.Nibbles[3] << 12;
    else
        return r.PackedLow & 0xFFFF;
}

template <bool Decimal>
inline void WriteShortAddress(NibbleRegister& r, uint32_t value)
{
    if constexpr (Decimal) {
        for (unsigned k = 0; k < 4; ++k)
            r.Nibbles[k] = (value >> (4 * k)) & 15;
    } else {
        r.PackedLow = (r.PackedLow & ~0xFFFFu) | (value & 0xFFFF);
    }
}

// 130 D0=A and its siblings: the whole 20-bit pointer from field A.
template <bool Decimal, PointerMember Ptr, Reg R>
void OpPointerFromRegister()
{
    Cpu.*Ptr = ReadFieldA<Decimal>(Working<R>());
    Cpu.PC += 3;
    Cpu.SliceCycles += 38;
}

// 132 AD0EX and its siblings.
template <bool Decimal, PointerMember Ptr, Reg R>
void OpPointerExchange()
{
    NibbleRegister& r = Working<R>();
    const uint32_t held = ReadFieldA<Decimal>(r);
    WriteFieldA<Decimal>(r, Cpu.*Ptr);
    Cpu.*Ptr = held;
    Cpu.PC += 3;
    Cpu.SliceCycles += 38;
}

// 138 D0=AS and its siblings: the pointer's nibble 4 stays.
template <bool Decimal, PointerMember Ptr, Reg R>
void OpPointerFromRegisterShort()
{
    Cpu.*Ptr = (Cpu.*Ptr & 0xF0000) | ReadShortAddress<Decimal>(Working<R>());
    Cpu.PC += 3;
    Cpu.SliceCycles += 34;
}

// 13A AD0XS and its siblings: nibble 4 of both sides stays where it is.
template <bool Decimal, PointerMember Ptr, Reg R>
void OpPointerExchangeShort()
{
    NibbleRegister& r = Working<R>();
    const uint32_t held = ReadShortAddress<Decimal>(r);
    WriteShortAddress<Decimal>(r, Cpu.*Ptr);
    Cpu.*Ptr = (Cpu.*Ptr & 0xF0000) | held;
    Cpu.PC += 3;
    Cpu.SliceCycles += 34;
}

// 19ab D0=(2), 1Aabcd D0=(4), 1Babcde D0=(5) and the D1 forms: the operand
// replaces the pointer's low N nibbles, nibble 0 first.
template <PointerMember Ptr, unsigned N>
void OpPointerLoad()
{
    static_assert(N == 2 || N == 4 || N == 5);
    constexpr uint32_t kept = 0xFFFFF & ~((1u << (4 * N)) - 1);
    Cpu.*Ptr = (Cpu.*Ptr & kept) | OperandNibbles(2, N);
    Cpu.PC += 2 + N;
    Cpu.SliceCycles += N == 2 ? 24 : N == 4 ? 36 : 46;
}

// One handler per constant 1 to 16, at third nibble x = constant - 1.
template <PointerMember Ptr, bool Subtract, unsigned N1, unsigned X = 0>
constexpr void FillPointerSteps(DispatchTable& table)
{
    if constexpr (X < 16) {
        if constexpr (Subtract)
            FillOpcode(table, 0x1, N1, X, &OpPointerSubtract<Ptr, X + 1>);
        else
            FillOpcode(table, 0x1, N1, X, &OpPointerAdd<Ptr, X + 1>);
        FillPointerSteps<Ptr, Subtract, N1, X + 1>(table);
    }
}

template <bool Decimal>
constexpr void FillDataPointers(DispatchTable& table)
{
    constexpr PointerMember d0 = &CpuState::D0;
    constexpr PointerMember d1 = &CpuState::D1;
    FillOpcode(table, 0x1, 0x3, 0x0, &OpPointerFromRegister<Decimal, d0, Reg::A>);      // 130  D0=A
    FillOpcode(table, 0x1, 0x3, 0x1, &OpPointerFromRegister<Decimal, d1, Reg::A>);      // 131  D1=A
    FillOpcode(table, 0x1, 0x3, 0x2, &OpPointerExchange<Decimal, d0, Reg::A>);          // 132  AD0EX
    FillOpcode(table, 0x1, 0x3, 0x3, &OpPointerExchange<Decimal, d1, Reg::A>);          // 133  AD1EX
    FillOpcode(table, 0x1, 0x3, 0x4, &OpPointerFromRegister<Decimal, d0, Reg::C>);      // 134  D0=C
    FillOpcode(table, 0x1, 0x3, 0x5, &OpPointerFromRegister<Decimal, d1, Reg::C>);      // 135  D1=C
    FillOpcode(table, 0x1, 0x3, 0x6, &OpPointerExchange<Decimal, d0, Reg::C>);          // 136  CD0EX
    FillOpcode(table, 0x1, 0x3, 0x7, &OpPointerExchange<Decimal, d1, Reg::C>);          // 137  CD1EX
    FillOpcode(table, 0x1, 0x3, 0x8, &OpPointerFromRegisterShort<Decimal, d0, Reg::A>); // 138  D0=AS
    FillOpcode(table, 0x1, 0x3, 0x9, &OpPointerFromRegisterShort<Decimal, d1, Reg::A>); // 139  D1=AS
    FillOpcode(table, 0x1, 0x3, 0xA, &OpPointerExchangeShort<Decimal, d0, Reg::A>);     // 13A  AD0XS
    FillOpcode(table, 0x1, 0x3, 0xB, &OpPointerExchangeShort<Decimal, d1, Reg::A>);     // 13B  AD1XS
    FillOpcode(table, 0x1, 0x3, 0xC, &OpPointerFromRegisterShort<Decimal, d0, Reg::C>); // 13C  D0=CS
    FillOpcode(table, 0x1, 0x3, 0xD, &OpPointerFromRegisterShort<Decimal, d1, Reg::C>); // 13D  D1=CS
    FillOpcode(table, 0x1, 0x3, 0xE, &OpPointerExchangeShort<Decimal, d0, Reg::C>);     // 13E  CD0XS
    FillOpcode(table, 0x1, 0x3, 0xF, &OpPointerExchangeShort<Decimal, d1, Reg::C>);     // 13F  CD1XS

    FillPointerSteps<d0, false, 0x6>(table); // 16x  D0=D0+ x+1
    FillPointerSteps<d1, false, 0x7>(table); // 17x  D1=D1+ x+1
    FillPointerSteps<d0, true, 0x8>(table);  // 18x  D0=D0- x+1
    FillPointerSteps<d1, true, 0xC>(table);  // 1Cx  D1=D1- x+1

    FillOpcode(table, 0x1, 0x9, &OpPointerLoad<d0, 2>); // 19ab     D0=(2)
    FillOpcode(table, 0x1, 0xA, &OpPointerLoad<d0, 4>); // 1Aabcd   D0=(4)
    FillOpcode(table, 0x1, 0xB, &OpPointerLoad<d0, 5>); // 1Babcde  D0=(5)
    FillOpcode(table, 0x1, 0xD, &OpPointerLoad<d1, 2>); // 1Dab     D1=(2)
    FillOpcode(table, 0x1, 0xE, &OpPointerLoad<d1, 4>); // 1Eabcd   D1=(4)
    FillOpcode(table, 0x1, 0xF, &OpPointerLoad<d1, 5>); // 1Fabcde  D1=(5)
}

} // namespace korvane
