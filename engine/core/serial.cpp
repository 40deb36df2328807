#include "engine/core/serial.h"

namespace korvane {

platform::CriticalSection* SerialLock;

void InitSerial()
{
    SerialLock = new platform::CriticalSection;
}

void TermSerial()
{
    delete SerialLock;
    SerialLock = nullptr;
}

uint32_t ReadSerialRegister(uint32_t)
{
    return 0;
}

void WriteSerialRegister(uint32_t, uint32_t) {}

} // namespace korvane
