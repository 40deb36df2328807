#include "engine/core/timers.h"

namespace korvane {

uint8_t Timer1;
uint8_t Timer1Control;
uint32_t Timer2;
uint8_t Timer2Control;
uint32_t Timer2LastValue;

void CreateTickers() {}
void DestroyTickers() {}
void SliceTick() {}
void RecheckTimerInterrupts() {}

} // namespace korvane
