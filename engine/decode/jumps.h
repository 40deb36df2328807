// Relative jumps and calls: GOC/RTNC (4ab), GONC/RTNNC (5ab), GOTO (6abc),
// GOSUB (7abc). One handler serves both tables.
#pragma once

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

// GOC (carry 1) and GONC (carry 0) with the offset built in; offset 0 is
// the conditional return. The offset counts from the offset field.
template <bool OnCarry, int Offset>
void OpBranchOnCarry()
{
    Cpu.PC += 1;
    if (Cpu.Carry == (OnCarry ? 1 : 0)) {
        Cpu.SliceCycles += 50;
        if constexpr (Offset == 0)
            Cpu.PC = PopReturnStack(); // the hook sees PC at the offset field
        else
            Cpu.PC = (Cpu.PC + Offset) & 0xFFFFF;
    } else {
        Cpu.PC += 2;
        Cpu.SliceCycles += 18;
    }
}

inline int32_t SignedOffset12(uint32_t value)
{
    return (value & 0x800) ? static_cast<int32_t>(value) - 0x1000 : static_cast<int32_t>(value);
}

inline void OpGoto()
{
    const int32_t offset = SignedOffset12(OperandNibbles(1, 3));
    Cpu.PC = (Cpu.PC + 1 + offset) & 0xFFFFF;
    Cpu.SliceCycles += 56;
}

template <bool Told>
inline void Gosub()
{
    const int32_t offset = SignedOffset12(OperandNibbles(1, 3));
    Cpu.PC += 4;
    PushReturnStack<Told>(Cpu.PC); // the return address is pushed as computed, unmasked
    Cpu.PC = (Cpu.PC + offset) & 0xFFFFF;
    Cpu.SliceCycles += 60;
}

[[gnu::noinline]] inline void OpGosubTold()
{
    Gosub<true>();
}

inline void OpGosub()
{
    if (DebuggingHackSet()) [[unlikely]]
        return OpGosubTold();
    Gosub<false>();
}

template <bool OnCarry, unsigned Byte = 0>
constexpr void FillBranchOnCarry(DispatchTable& table)
{
    if constexpr (Byte < 256) {
        constexpr int offset = Byte < 128 ? static_cast<int>(Byte) : static_cast<int>(Byte) - 256;
        // The offset's low nibble is the second opcode nibble.
        FillOpcode(table, OnCarry ? 0x4 : 0x5, Byte & 15, Byte >> 4, &OpBranchOnCarry<OnCarry, offset>);
        FillBranchOnCarry<OnCarry, Byte + 1>(table);
    }
}

template <bool Decimal>
constexpr void FillJumps(DispatchTable& table)
{
    FillBranchOnCarry<true>(table);  // 4ab  GOC, 400 RTNC
    FillBranchOnCarry<false>(table); // 5ab  GONC, 500 RTNNC
    FillOpcode(table, 0x6, &OpGoto);  // 6abc  GOTO
    FillOpcode(table, 0x7, &OpGosub); // 7abc  GOSUB
}

} // namespace korvane
