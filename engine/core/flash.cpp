#include "engine/core/flash.h"

#include <cstring>

#include "engine/core/banks.h"
#include "engine/core/memory.h"

namespace korvane {

// The machine is reached only while the ROM buffer is attached, and every
// offset it forms stays below RomNibbles.
FlashChip Flash;

namespace {

// The chip's cells are the ROM buffer's nibbles.
uint8_t* Cells()
{
    return Modules[ModuleRom].Buffer;
}

uint8_t StoredByte(uint32_t offset)
{
    return static_cast<uint8_t>((Cells()[offset] & 0x0F) | (Cells()[offset + 1] & 0x0F) << 4);
}

// Programming only clears bits; setting one needs an erase. The boot block
// never takes a program.
void ProgramByte(uint32_t offset, uint8_t byte)
{
    if (offset < FlashBlockNibbles || (byte & ~StoredByte(offset)) != 0) {
        Flash.Status |= FlashError;
        return;
    }
    Cells()[offset] = byte & 0x0F;
    Cells()[offset + 1] = byte >> 4;
}

void EraseBlock(uint32_t offset)
{
    std::memset(Cells() + (offset & ~(FlashBlockNibbles - 1)), 0x0F, FlashBlockNibbles);
}

void RunCommand(uint32_t offset, uint8_t byte)
{
    switch (byte) {
    case 0x10:
    case 0x40:
        Flash.State = FlashProgram;
        break;
    case 0x20: // erases at once, no confirm byte awaited
        EraseBlock(offset);
        Flash.State = FlashReadStatus;
        break;
    case 0x50:
        Flash.Status = FlashReady;
        break;
    case 0x70:
        Flash.State = FlashReadStatus;
        break;
    case 0x90:
        Flash.State = FlashReadIdentifier;
        break;
    case 0xE8:
        Flash.State = FlashBufferCountNext;
        break;
    case 0xFF:
        Flash.State = FlashReadArray;
        break;
    default:
        break;
    }
}

void FailBufferedWrite()
{
    Flash.Status |= FlashError;
    Flash.State = FlashReadStatus;
}

} // namespace

uint32_t FlashOffset(uint32_t address)
{
    const uint32_t bank = (address & 0x40000) ? HighBank : LowBank;
    return bank * BankNibbles + (address & 0x3FFFF);
}

// Fetch sees the state at once: a change into or out of read-array mode
// recomputes the fetch pointers (FlashWriteNibble).
const uint8_t* FlashFetchPage(uint32_t pageAddress)
{
    return Flash.State == FlashReadArray ? RomLocate(pageAddress) : BlankPage;
}

uint32_t FlashRead(uint32_t address)
{
    const uint32_t offset = FlashOffset(address);
    switch (Flash.State) {
    case FlashReadArray:
        return Cells()[offset] & 0x0F;
    case FlashReadIdentifier:
        // Block-relative nibble 8 is the block lock status: only the boot
        // block is locked.
        if ((offset & (FlashBlockNibbles - 1)) == 8)
            return offset < FlashBlockNibbles ? 1 : 0;
        return 0;
    default:
        return (offset & 1) ? Flash.Status >> 4 : Flash.Status & 0x0F;
    }
}

uint32_t FlashReadNibble(uint32_t address)
{
    const uint32_t nibble = FlashRead(address);
    UpdateCrc(nibble);
    return nibble;
}

uint32_t FlashReadAddress(uint32_t address)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < 5; ++i) {
        const uint32_t nibble = FlashRead((address + i) & 0xFFFFF);
        UpdateCrc(nibble);
        value |= nibble << (4 * i);
    }
    return value;
}

namespace {

void ActOnByte(uint32_t address, uint8_t byte)
{
    const uint32_t offset = FlashOffset(address) & ~1u;
    switch (Flash.State) {
    case FlashProgram:
        ProgramByte(offset, byte);
        Flash.State = FlashReadStatus;
        break;
    case FlashBufferCountNext:
        // A count above the buffer is dropped without an error bit.
        Flash.BufferCount = byte + 1u;
        Flash.BufferIndex = 0;
        Flash.State = Flash.BufferCount <= FlashBufferBytes ? FlashBufferFill : FlashReadStatus;
        break;
    case FlashBufferFill:
        FlashBufferWrite(offset, byte);
        break;
    default:
        RunCommand(offset, byte);
        break;
    }
}

} // namespace

// Code the calculator runs from the flash sees a command at once: leaving
// read-array mode blanks the flash-mapped pages for fetch, and returning to
// it shows the array again.
void FlashWriteNibble(uint32_t address, uint32_t nibble)
{
    if ((address & 1) == 0) {
        Flash.Latch = static_cast<uint8_t>(nibble & 0x0F);
        return;
    }
    const uint8_t byte = static_cast<uint8_t>((Flash.Latch & 0x0F) | (nibble & 0x0F) << 4);
    Flash.Latch = byte;
    const bool wasReadArray = Flash.State == FlashReadArray;
    ActOnByte(address, byte);
    if (wasReadArray != (Flash.State == FlashReadArray))
        RecomputeFetchPointers(0, 256);
}

// The data bytes must arrive at consecutive byte offsets; then 0xD0 at the
// last data byte's offset confirms and programs them all.
void FlashBufferWrite(uint32_t offset, uint8_t byte)
{
    if (Flash.BufferIndex == 0)
        Flash.BufferStart = offset;
    if (Flash.BufferIndex < Flash.BufferCount) {
        if (offset != Flash.BufferStart + 2 * Flash.BufferIndex) {
            FailBufferedWrite();
            return;
        }
        Flash.Buffer[Flash.BufferIndex++] = byte;
        return;
    }
    if (byte != 0xD0 || offset != Flash.BufferStart + 2 * (Flash.BufferCount - 1)) {
        FailBufferedWrite();
        return;
    }
    // A refused byte marks the error; the others are still programmed.
    for (uint32_t i = 0; i < Flash.BufferCount; ++i)
        ProgramByte(Flash.BufferStart + 2 * i, Flash.Buffer[i]);
    Flash.State = FlashReadStatus;
}

} // namespace korvane
