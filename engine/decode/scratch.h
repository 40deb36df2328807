// Scratch register transfers of whole registers: Rn=A, A=Rn, ARnEX and the C
// forms (10x, 11x, 12x). R0 to R4 are packed in both modes, so the decimal
// members pack and unpack the working register on the way.
#pragma once

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

// The packed value is built anew: nothing of the scratch register survives.
inline ScratchRegister PackWorkingNibbles(const NibbleRegister& w)
{
    ScratchRegister packed{0, 0};
    for (unsigned k = 0; k < 8; ++k) {
        packed.Low |= uint32_t{w.Nibbles[k] & 15u} << (4 * k);
        packed.High |= uint32_t{w.Nibbles[8 + k] & 15u} << (4 * k);
    }
    return packed;
}

inline void UnpackScratchNibbles(NibbleRegister& w, ScratchRegister packed)
{
    for (unsigned k = 0; k < 8; ++k) {
        w.Nibbles[k] = (packed.Low >> (4 * k)) & 15;
        w.Nibbles[8 + k] = (packed.High >> (4 * k)) & 15;
    }
}

template <bool Decimal>
inline ScratchRegister ReadWorkingForScratch(const NibbleRegister& w)
{
    if constexpr (Decimal)
        return PackWorkingNibbles(w);
    else
        return {w.PackedLow, w.PackedHigh};
}

template <bool Decimal>
inline void WriteWorkingFromScratch(NibbleRegister& w, ScratchRegister packed)
{
    if constexpr (Decimal) {
        UnpackScratchNibbles(w, packed);
    } else {
        w.PackedLow = packed.Low;
        w.PackedHigh = packed.High;
    }
}

// 10x  Rn=W
template <bool Decimal, Reg W, unsigned N>
void OpScratchFromWorking()
{
    Cpu.R[N] = ReadWorkingForScratch<Decimal>(Working<W>());
    Cpu.PC += 3;
    Cpu.SliceCycles += 82;
}

// 11x  W=Rn
template <bool Decimal, Reg W, unsigned N>
void OpWorkingFromScratch()
{
    WriteWorkingFromScratch<Decimal>(Working<W>(), Cpu.R[N]);
    Cpu.PC += 3;
    Cpu.SliceCycles += 82;
}

// 12x  WRnEX: the working register is read whole before it is written.
template <bool Decimal, Reg W, unsigned N>
void OpWorkingScratchExchange()
{
    const ScratchRegister held = Cpu.R[N];
    Cpu.R[N] = ReadWorkingForScratch<Decimal>(Working<W>());
    WriteWorkingFromScratch<Decimal>(Working<W>(), held);
    Cpu.PC += 3;
    Cpu.SliceCycles += 82;
}

// The three transfers of one register pair, at third nibble x of 10, 11, 12.
template <bool Decimal, Reg W, unsigned N>
constexpr void FillScratchPair(DispatchTable& table, unsigned x)
{
    FillOpcode(table, 0x1, 0x0, x, &OpScratchFromWorking<Decimal, W, N>);
    FillOpcode(table, 0x1, 0x1, x, &OpWorkingFromScratch<Decimal, W, N>);
    FillOpcode(table, 0x1, 0x2, x, &OpWorkingScratchExchange<Decimal, W, N>);
}

// The register field of the opcode has room for eight scratch registers but
// the machine has five: x = 5-7 and D-F name R1-R3 again.
template <bool Decimal>
constexpr void FillScratch(DispatchTable& table)
{
    FillScratchPair<Decimal, Reg::A, 0>(table, 0x0); // 100 R0=A   110 A=R0   120 AR0EX
    FillScratchPair<Decimal, Reg::A, 1>(table, 0x1); // 101 R1=A   111 A=R1   121 AR1EX
    FillScratchPair<Decimal, Reg::A, 2>(table, 0x2); // 102 R2=A   112 A=R2   122 AR2EX
    FillScratchPair<Decimal, Reg::A, 3>(table, 0x3); // 103 R3=A   113 A=R3   123 AR3EX
    FillScratchPair<Decimal, Reg::A, 4>(table, 0x4); // 104 R4=A   114 A=R4   124 AR4EX
    FillScratchPair<Decimal, Reg::A, 1>(table, 0x5); // 105 R1=A   115 A=R1   125 AR1EX
    FillScratchPair<Decimal, Reg::A, 2>(table, 0x6); // 106 R2=A   116 A=R2   126 AR2EX
    FillScratchPair<Decimal, Reg::A, 3>(table, 0x7); // 107 R3=A   117 A=R3   127 AR3EX
    FillScratchPair<Decimal, Reg::C, 0>(table, 0x8); // 108 R0=C   118 C=R0   128 CR0EX
    FillScratchPair<Decimal, Reg::C, 1>(table, 0x9); // 109 R1=C   119 C=R1   129 CR1EX
    FillScratchPair<Decimal, Reg::C, 2>(table, 0xA); // 10A R2=C   11A C=R2   12A CR2EX
    FillScratchPair<Decimal, Reg::C, 3>(table, 0xB); // 10B R3=C   11B C=R3   12B CR3EX
    FillScratchPair<Decimal, Reg::C, 4>(table, 0xC); // 10C R4=C   11C C=R4   12C CR4EX
    FillScratchPair<Decimal, Reg::C, 1>(table, 0xD); // 10D R1=C   11D C=R1   12D CR1EX
    FillScratchPair<Decimal, Reg::C, 2>(table, 0xE); // 10E R2=C   11E C=R2   12E CR2EX
    FillScratchPair<Decimal, Reg::C, 3>(table, 0xF); // 10F R3=C   11F C=R3   12F CR3EX
}

} // namespace korvane
