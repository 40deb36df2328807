#include "helper/objects/objects.h"

#include <algorithm>
#include <vector>

#include "helper/breakpoints/breakpoints.h"
#include "helper/images/images.h"
#include "korvane.h"
#include "tessock.h"

namespace tessock {

namespace {

// The calculator's RAM words that describe its object area and data stack.
constexpr uint32_t ObjectAreaEnd = 0x806EE; // where the next object goes
constexpr uint32_t FreeAreaStart = 0x806F3; // end of the block that moves up with each entry
constexpr uint32_t DataStackTop = 0x806F8;  // lowest cell of the data stack, which grows down
constexpr uint32_t FreeCells = 0x8082E;     // 5-nibble cells free between the two

constexpr uint32_t CellNibbles = 5;
// The entry around an object: a 0 before it and its length after it.
constexpr uint32_t EntryOverhead = 6;
// P = 0, HST = 0, hexadecimal, ST = 0, and interrupt service set: no
// interrupt is taken in the middle of the routine.
constexpr uint32_t MeasuringFlags = 0x100;

uint32_t ReadAddress(uint32_t at)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < CellNibbles; ++i)
        value |= static_cast<uint32_t>(KHReadNibble(at + i)) << (4 * i);
    return value;
}

void WriteAddress(uint32_t at, uint32_t value)
{
    for (uint32_t i = 0; i < CellNibbles; ++i)
        KHWriteNibble(at + i, (value >> (4 * i)) & 0x0F);
}

// The whole byte, breakpoint tag included, so that a refused push can put
// memory back exactly; where no image byte answers, what a read gives.
uint8_t ReadByte(uint32_t address)
{
    uint32_t module;
    const uint8_t* byte = LocateImageNibble(address, &module);
    return byte ? *byte : KHReadNibble(address);
}

void WriteByte(uint32_t address, uint8_t value)
{
    uint32_t module;
    if (uint8_t* byte = LocateImageNibble(address, &module))
        *byte = value;
}

} // namespace

SavedMachine::SavedMachine()
{
    KVSaveState(State, sizeof State);
}

SavedMachine::~SavedMachine()
{
    KVRestoreState(State, sizeof State);
}

uint32_t RunMeasuringRoutine(uint32_t address)
{
    KVSetRegister(KV_REG_D0, address);
    KVSetRegister(KV_REG_FLAGS, MeasuringFlags);
    {
        BreakpointHandlersSuspended suspended;
        KVExecuteRoutine(MeasuringRoutine);
    }
    return (KVGetRegister(KV_REG_D0) - address) & 0xFFFFF;
}

uint32_t MeasureObject(uint32_t address)
{
    SavedMachine saved;
    return RunMeasuringRoutine(address);
}

} // namespace tessock

using namespace tessock;

extern "C" {

uint32_t KHPushObject(const uint8_t* nibbles, uint32_t count)
{
    if (!nibbles || count == 0)
        return 0;
    // Memory is read and written below without a lock.
    KVStop();
    // 64-bit from here on: P + count + 16 wraps in 32 bits.
    const uint64_t p = ReadAddress(ObjectAreaEnd);
    const uint64_t q = ReadAddress(FreeAreaStart);
    const uint64_t r = ReadAddress(DataStackTop);
    // Words out of order would give the block to move a negative length,
    // or put it past the stack.
    if (q < p || r < q || p + count + 16 > r)
        return 0;

    // Everything the placing writes before the measurement, kept whole so
    // that a refused object leaves memory as it was: the block that moves
    // up, and the free memory the object reaches past it.
    const uint64_t touched = std::max(q, p + 1 + count) - p;
    std::vector<uint8_t> saved(touched);
    for (uint64_t i = 0; i < touched; ++i)
        saved[i] = ReadByte(static_cast<uint32_t>(p + i));

    KHWriteNibble(static_cast<uint32_t>(p), 0);
    for (uint32_t i = 0; i < count; ++i)
        KHWriteNibble(static_cast<uint32_t>(p + 1 + i), nibbles[i]);
    const uint64_t d = MeasureObject(static_cast<uint32_t>(p + 1));
    const uint64_t freeStart = q + d + EntryOverhead;
    // An object longer than the array would take in nibbles nobody wrote;
    // and the new entry must leave the cell that will point at it free,
    // or the object would sit in memory with nothing referring to it, the
    // moved block perhaps over the stack.
    if (d > count || freeStart + CellNibbles > r) {
        for (uint64_t i = 0; i < touched; ++i)
            WriteByte(static_cast<uint32_t>(p + i), saved[i]);
        return 0;
    }

    WriteAddress(ObjectAreaEnd, static_cast<uint32_t>(p + d + EntryOverhead));
    WriteAddress(FreeAreaStart, static_cast<uint32_t>(freeStart));
    for (uint64_t i = 0; i < q - p; ++i)
        KHWriteNibble(static_cast<uint32_t>(p + d + EntryOverhead + i), saved[i] & 0x0F);
    WriteAddress(static_cast<uint32_t>(p + 1 + d), static_cast<uint32_t>(d + EntryOverhead));
    // The new level 1: one cell fewer free, the stack one cell lower.
    WriteAddress(FreeCells, static_cast<uint32_t>((r - freeStart) / CellNibbles - 1));
    WriteAddress(static_cast<uint32_t>(r - CellNibbles), static_cast<uint32_t>(p + 1));
    WriteAddress(DataStackTop, static_cast<uint32_t>(r - CellNibbles));
    return 1;
}

} // extern "C"
