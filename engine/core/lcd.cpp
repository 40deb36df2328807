#include "engine/core/lcd.h"

namespace korvane {

uint8_t DisplayOn;
uint32_t LeftOffset;
uint32_t DisplayAddress;
int32_t LineOffset;
uint32_t LineCount;
uint32_t MenuAddress;
std::atomic<uint8_t> Annunciators;
uint32_t LineCounter;

uint32_t ReadDisplayRegister(uint32_t)
{
    return 0;
}

void WriteDisplayRegister(uint32_t, uint32_t) {}

void DisplayTick() {}

void FreeDisplayBuffers() {}

} // namespace korvane
