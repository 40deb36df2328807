#include "engine/decode/opcode_map.h"

namespace korvane {

// Page-aligned: see dispatch.h.
alignas(4096) constinit const DispatchTable HexDispatchTable = BuildDispatchTable<false>();

} // namespace korvane
