// The code cache: instructions decoded once and then run without decoding,
// by the threaded loop (threaded.cpp).
//
// A decoded page covers one host page, the 4096 nibble bytes that the fetch
// map gives for an emulated page, and holds one entry per nibble offset in
// parallel arrays, so that a single index reaches all of an entry's fields
// and the host byte it was decoded from. Each entry keeps the eight bytes it
// was decoded from, and the loop compares them with the host bytes before it
// runs the entry: whatever changed the code (a data write, the flash, a bank
// or a module that the host lent while the engine stood, a breakpoint tag
// set while it runs) is seen at the next dispatch and the entry decoded anew.
// Nothing has to tell the cache that code changed; only the fetch map's
// changes reach it, so that each emulated page finds its host page's
// decoded page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/memory.h"
#include "engine/decode/shapes.h"

#pragma GCC visibility push(hidden)
namespace korvane {

// An instruction that starts at a page's last nibble ends up to 21 nibbles
// later: the entries past the page lead back to the fetch map.
inline constexpr size_t DecodedEntries = PageSize + 32;

struct DecodedPage {
    // Where the loop goes to run the entry: a label of the threaded loop.
    const void* Labels[DecodedEntries];
    // The nibble bytes the entry was decoded from, eight of them.
    uint64_t Bytes[DecodedEntries];
    // The decoded instruction (InstructionShape): Operand, or the handler
    // to call (a transfer's too); Cost plus CountedInstruction; Target;
    // Source; Branch, or the length of a called instruction or transfer.
    uint64_t Operands[DecodedEntries];
    int64_t Costs[DecodedEntries];
    void* Targets[DecodedEntries];
    const void* Sources[DecodedEntries];
    int64_t Branches[DecodedEntries];
    const uint8_t* Host; // the host byte of the page's first nibble
    uint32_t Mode;       // the dispatch table it was decoded for: 0 hexadecimal, 1 decimal
};

// The loop keeps the cycles and the instructions left in one register, so
// that one add counts both: the cycles in the bits below CountShift, less
// the instructions left times CountedInstruction. It is negative while
// instructions are left; CountedInstruction plus an instruction's cycles,
// added, counts the instruction off. A run takes at most ChunkInstructions
// at a time, so that their cycles, below 1024 each, stay below the count.
inline constexpr unsigned CountShift = 30;
inline constexpr int64_t CountedInstruction = int64_t{1} << CountShift;
inline constexpr int64_t CycleBits = CountedInstruction - 1;
inline constexpr uint32_t ChunkInstructions = 1u << 20;

// Per mode, the decoded page of each emulated page's fetch page, or
// UnmappedPage until the loop first needs it.
extern DecodedPage* DecodedPages[2][256];
// The table of the current mode; SwitchToHex and SwitchToDecimal move it.
extern DecodedPage** ActiveDecodedPages;
// Stands for every page not yet looked up: its entries never match, so the
// loop's first dispatch into it finds the page.
extern DecodedPage UnmappedPage;

// SETHEX and SETDEC: the working registers change form, and the dispatch
// table and the decoded pages change with the mode. SwitchToHex and
// SwitchToDecimal run these; the threaded loop runs them in place.
template <bool Decimal>
[[gnu::always_inline]] inline void EnterMode()
{
    if ((Cpu.DecimalMode != 0) == Decimal)
        return;
    if constexpr (Decimal) {
        UnpackNibbleBytePair(Cpu.A, Cpu.B);
        UnpackNibbleBytePair(Cpu.C, Cpu.D);
    } else {
        PackNibbleBytePair(Cpu.A, Cpu.B);
        PackNibbleBytePair(Cpu.C, Cpu.D);
    }
    Cpu.DecimalMode = Decimal;
    ActiveDispatchTable = Decimal ? DecimalDispatchTable.data() : HexDispatchTable.data();
    ActiveDecodedPages = DecodedPages[Decimal];
}

// Every emulated page unmapped; called as the library loads.
void InitCodeCache();

// Called wherever fetch pages change.
void ForgetDecodedPages(unsigned firstPage, unsigned count);

// The decoded page for the fetch page of an emulated page in the current
// mode, from the pages decoded before or a page taken afresh (the one
// decoded longest ago giving way), none of whose entries matches its bytes.
DecodedPage* FindDecodedPage(unsigned page);

// Decodes the entry at the page's nibble offset from the host bytes there,
// all but its label, which the loop picks by the shape returned.
InstructionShape DecodeEntry(DecodedPage& page, size_t offset);

} // namespace korvane
#pragma GCC visibility pop
