// The calculator's serial port.
#pragma once

#include <atomic>
#include <cstdint>

#include "korvane.h"
#include "platform/lock.h"

namespace korvane {

// Guards the port's state and every call of the serial handler. Taken
// before CpuLock wherever both are held.
extern platform::CriticalSection* SerialLock;

void InitSerial();
void TermSerial();

// The serial registers of the I/O window: 0x0D and 0x10 to 0x17, with their
// side effects (events to the handler, interrupts).
uint32_t ReadSerialRegister(uint32_t offset);
void WriteSerialRegister(uint32_t offset, uint32_t nibble);

} // namespace korvane
