#include "engine/core/timers.h"

namespace korvane {

void CreateTickers() {}
void DestroyTickers() {}
void SliceTick() {}
void RecheckTimerInterrupts() {}

} // namespace korvane
