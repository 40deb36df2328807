// Instruction dispatch: one table load and one indirect transfer per
// instruction. The first three nibbles, with the first nibble's breakpoint
// tag, form a 13-bit index into the table of the current mode.
#pragma once

#include <array>
#include <cstdint>

#include "engine/core/cpu_state.h"
#include "engine/core/memory.h"

namespace korvane {

using InstructionHandler = void (*)();
using DispatchTable = std::array<InstructionHandler, 8192>;

extern const DispatchTable HexDispatchTable;
extern const DispatchTable DecimalDispatchTable;

// The table of the current mode; SwitchToHex and SwitchToDecimal move it.
extern const InstructionHandler* ActiveDispatchTable;

inline constexpr uint8_t BreakpointTag = 0x10;

constexpr unsigned DispatchIndex(unsigned b0, unsigned b1, unsigned b2)
{
    return (b0 & 0x1F) | (b1 & 0x0F) << 5 | (b2 & 0x0F) << 9;
}

// Locates the instruction at PC through the fetch page map. Page lookups
// mask to the 256 pages: PC may exceed 20 bits after an unmasked return.
inline const uint8_t* LocateInstruction(uint32_t pc)
{
    return PageFetchPointer[(pc >> 12) & 0xFF] + (pc & 0xFFF);
}

// Executes the instruction at PC through the current table.
inline void ExecuteInstruction()
{
    const uint8_t* fetch = LocateInstruction(Cpu.PC);
    Cpu.FetchPointer = fetch;
    ActiveDispatchTable[DispatchIndex(fetch[0], fetch[1], fetch[2])]();
}

void ExecuteHexInstruction();
void ExecuteDecimalInstruction();

void BreakpointTrapHex();
void BreakpointTrapDecimal();

// Reads n operand nibbles at FetchPointer + first, low nibble first; the
// breakpoint tag of an operand nibble is masked away.
inline uint32_t OperandNibbles(unsigned first, unsigned count)
{
    uint32_t value = 0;
    for (unsigned i = count; i-- > 0;)
        value = (value << 4) | (Cpu.FetchPointer[first + i] & 0x0F);
    return value;
}

inline unsigned OperandNibble(unsigned position)
{
    return Cpu.FetchPointer[position] & 0x0F;
}

// Table filling for the opcode map: a one-nibble opcode occupies the 256
// entries that share its first nibble, a two-nibble opcode 16.
constexpr void FillOpcode(DispatchTable& table, unsigned n0, InstructionHandler handler)
{
    for (unsigned i = 0; i < 256; ++i)
        table[DispatchIndex(n0, i & 15, i >> 4)] = handler;
}

constexpr void FillOpcode(DispatchTable& table, unsigned n0, unsigned n1, InstructionHandler handler)
{
    for (unsigned n2 = 0; n2 < 16; ++n2)
        table[DispatchIndex(n0, n1, n2)] = handler;
}

constexpr void FillOpcode(DispatchTable& table, unsigned n0, unsigned n1, unsigned n2, InstructionHandler handler)
{
    table[DispatchIndex(n0, n1, n2)] = handler;
}

} // namespace korvane
