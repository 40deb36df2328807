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

} // namespace korvane
