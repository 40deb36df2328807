#include "engine/decode/opcode_map.h"

namespace korvane {

constinit const DispatchTable HexDispatchTable = BuildDispatchTable<false>();

} // namespace korvane
