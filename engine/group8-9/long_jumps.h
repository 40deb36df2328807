// Long jumps and calls: GOLONG (8C), GOVLNG (8D), GOSUBL (8E), GOSBVL (8F).
// None touches A to D, so one handler serves both tables, in all sixteen
// entries of its third nibble (the first operand nibble).
#pragma once

#include <cstdint>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

// Four offset nibbles at 2-5 as a signed 16-bit value, kept in a uint32_t so
// that adding it to PC wraps instead of overflowing.
inline uint32_t LongOffset()
{
    return static_cast<uint32_t>(static_cast<int16_t>(OperandNibbles(2, 4)));
}

// The offset counts from the offset field.
inline void OpGoLong()
{
    Cpu.PC = (Cpu.PC + 2 + LongOffset()) & 0xFFFFF;
    Cpu.SliceCycles += 68;
}

// Masked operand nibbles keep the target within 20 bits even when one
// carries a breakpoint tag.
inline void OpGoVeryLong()
{
    Cpu.PC = OperandNibbles(2, 5);
    Cpu.SliceCycles += 74;
}

// The offset counts from the return address; the hook already sees PC
// there, and PC is read again after it.
inline void OpGosubLong()
{
    const uint32_t offset = LongOffset();
    const uint32_t returnAddress = Cpu.PC + 6;
    Cpu.PC = returnAddress;
    PushReturnStack(returnAddress);
    Cpu.PC = (Cpu.PC + offset) & 0xFFFFF;
    Cpu.SliceCycles += 72;
}

// Here the hook still sees PC at the instruction itself.
inline void OpGosubVeryLong()
{
    const uint32_t target = OperandNibbles(2, 5);
    PushReturnStack(Cpu.PC + 7);
    Cpu.PC = target;
    Cpu.SliceCycles += 78;
}

template <bool Decimal>
constexpr void FillLongJumps(DispatchTable& table)
{
    FillOpcode(table, 0x8, 0xC, &OpGoLong);        // 8Cdddd   GOLONG
    FillOpcode(table, 0x8, 0xD, &OpGoVeryLong);    // 8Daaaaa  GOVLNG
    FillOpcode(table, 0x8, 0xE, &OpGosubLong);     // 8Edddd   GOSUBL
    FillOpcode(table, 0x8, 0xF, &OpGosubVeryLong); // 8Faaaaa  GOSBVL
}

} // namespace korvane
