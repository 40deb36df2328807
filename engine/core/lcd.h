// The LCD renderer and frame delivery.
#pragma once

#include <cstdint>

namespace korvane {

void FreeDisplayBuffers();

} // namespace korvane
