// Instruction dispatch: one table load and one indirect transfer per
// instruction. The first three nibbles, with the first nibble's breakpoint
// tag, form a 13-bit index into the table of the current mode.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "engine/core/cpu_state.h"
#include "engine/core/memory.h"

#pragma GCC visibility push(hidden)
namespace korvane {

using InstructionHandler = void (*)();
using DispatchTable = std::array<InstructionHandler, 8192>;

// Each table starts a page (its definition in engine/decode says so), so that
// an entry's cache set follows from its first two nibbles alone and not from
// where the linker happens to place the table: an unlucky placement once put
// the entries of the benchmark's loop in the cache set of the fetch map and
// cost a few percent.
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
    return Memory.Pages.Fetch[(pc >> 12) & 0xFF] + (pc & 0xFFF);
}

// The first four nibble bytes at fetch as one little-endian word. Every
// fetch pointer has the buffer slack behind it, so the fourth byte is there
// even for an instruction that starts at a buffer's last nibble.
inline uint32_t FetchWord(const uint8_t* fetch)
{
    uint32_t word;
    std::memcpy(&word, fetch, sizeof word);
    return word;
}

// DispatchIndex of the word's first three bytes, without taking them apart.
constexpr unsigned DispatchIndexOfWord(uint32_t word)
{
    return (word & 0x1F) | (word >> 3 & 0x1E0) | (word >> 7 & 0x1E00);
}

// Executes the instruction at PC through the current table: the reference
// path, which every host runs.
inline void ExecuteInstruction()
{
    const uint8_t* fetch = LocateInstruction(Cpu.PC);
    Cpu.FetchPointer = fetch;
    ActiveDispatchTable[DispatchIndexOfWord(FetchWord(fetch))]();
}

void BreakpointTrapHex();
void BreakpointTrapDecimal();

// Reads n operand nibbles at FetchPointer + first, low nibble first; the
// breakpoint tag of an operand nibble is masked away.
// Up to eight nibbles are gathered from one word read; an operand ends
// within 21 nibbles of the instruction's start, so the word stays inside the
// buffer slack.
[[gnu::always_inline]] inline uint32_t OperandNibbles(unsigned first, unsigned count)
{
    uint64_t bytes;
    std::memcpy(&bytes, Cpu.FetchPointer + first, sizeof bytes);
    return GatherNibbleWord(bytes, count > 8 ? 8 : count);
}

inline unsigned OperandNibble(unsigned position)
{
    return Cpu.FetchPointer[position] & 0x0F;
}

} // namespace korvane
#pragma GCC visibility pop
