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

} // namespace korvane
