#include "engine/core/opcode_map.h"

namespace korvane {

constinit const DispatchTable DecimalDispatchTable = BuildDispatchTable<true>();

} // namespace korvane
