#include "engine/decode/opcode_map.h"

namespace korvane {

constinit const DispatchTable DecimalDispatchTable = BuildDispatchTable<true>();

} // namespace korvane
