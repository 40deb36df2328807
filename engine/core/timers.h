// TIMER1, TIMER2 and the slice tick that drives every periodic device.
#pragma once

#include <cstdint>

namespace korvane {

extern uint8_t Timer1;        // 4-bit counter
extern uint8_t Timer1Control; // bit 1 interrupt, 2 wake, 3 service request
extern uint32_t Timer2;       // 32-bit counter
extern uint8_t Timer2Control; // bit 0 run, then as TIMER1
extern uint32_t Timer2LastValue;

void CreateTickers();
void DestroyTickers();
// One tick of 1/8192 s: the ON-key check, TIMER2 (with TIMER1 and the
// keyboard scan on its bit edges) and an LCD line every second tick.
void SliceTick();
void RecheckTimerInterrupts();

} // namespace korvane
