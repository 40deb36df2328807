// The I/O register window: 64 nibble registers through which the ROM talks
// to the display controller, the CRC, the serial port, the interrupt causes,
// the flash enable, the timers and the host service register.
#pragma once

#include <cstdint>

#include "engine/core/memory.h"
#include "engine/core/timers.h"

#pragma GCC visibility push(hidden)
namespace korvane {

// The last nibble written to each offset, whatever the offset does.
extern uint8_t IoRegisterShadow[64];
// Registers that only keep what is written (offsets 0x09, 0x0E, 0x1E, 0x1F).
extern uint8_t PlainRegister09;
extern uint8_t PlainRegister0E;
extern uint8_t PlainRegister1E;
extern uint8_t PlainRegister1F;

const uint8_t* IoFetchPage(uint32_t pageAddress);
uint32_t IoReadNibble(uint32_t address);
uint32_t IoReadAddress(uint32_t address);
void IoWriteNibble(uint32_t address, uint32_t nibble);

// One register of the window by offset, with its side effects; offsets are
// taken modulo 64. Only IoWriteNibble keeps the shadow.
uint32_t IoReadRegister(uint32_t offset);
// The registers at offset to offset + count - 1 (within the window, count
// at most 16) as a value, the first lowest, read one by one in that order.
uint64_t IoReadRegisterRun(uint32_t offset, unsigned count);

// As IoReadRegisterRun. TIMER2's nibbles read nothing but the timer: a run
// of them is the timer's value at once, as the ROM reads it to tell the time.
inline uint64_t IoReadRegisters(uint32_t offset, unsigned count)
{
    if (offset >= 0x38)
        return (uint64_t{Timers.Timer2} >> (4 * (offset - 0x38))) & (~uint64_t{0} >> (64 - 4 * count));
    return IoReadRegisterRun(offset, count);
}

// Whether the address lies in the window's 64 nibbles.
inline bool InIoWindow(uint32_t address)
{
    return (address & 0xFFFC0) == Modules[ModuleIo].Base;
}

// Whether the window's registers answer for all count nibbles from address.
inline bool IoWindowHolds(uint32_t address, unsigned count)
{
    return InIoWindow(address) && (address & 63) + count <= 64;
}
void IoWriteRegister(uint32_t offset, uint32_t nibble);

} // namespace korvane
#pragma GCC visibility pop
