// The I/O register window: 64 nibble registers through which the ROM talks
// to the display controller, the CRC, the serial port, the interrupt causes,
// the flash enable, the timers and the host service register.
#pragma once

#include <cstdint>

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
uint64_t IoReadRegisters(uint32_t offset, unsigned count);
// Whether the window's registers answer for all count nibbles from address.
bool IoWindowHolds(uint32_t address, unsigned count);
void IoWriteRegister(uint32_t offset, uint32_t nibble);

} // namespace korvane
#pragma GCC visibility pop
