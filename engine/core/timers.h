// TIMER1, TIMER2 and the slice tick that drives every periodic device.
#pragma once

#include <cstdint>

namespace korvane {

void CreateTickers();
void DestroyTickers();
// One tick of 1/8192 s: the ON-key check, TIMER2 (with TIMER1 and the
// keyboard scan on its bit edges) and an LCD line every second tick.
void SliceTick();
void RecheckTimerInterrupts();

} // namespace korvane
