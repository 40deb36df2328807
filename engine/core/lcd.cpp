#include "engine/core/lcd.h"

namespace korvane {

void FreeDisplayBuffers() {}

} // namespace korvane
