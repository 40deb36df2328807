#include "engine/core/opcode_map.h"

namespace korvane {

constinit const DispatchTable HexDispatchTable = BuildDispatchTable<false>();

} // namespace korvane
