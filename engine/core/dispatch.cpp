#include "engine/core/dispatch.h"

#include "engine/core/hooks.h"

namespace korvane {

constinit const InstructionHandler* ActiveDispatchTable = HexDispatchTable.data();

namespace {

// With a breakpoint handler set, the handler stands in for the tagged
// instruction: PC and the cycle count stay as they are. Without one, the
// instruction runs as if untagged.
template <bool Decimal>
void Trap()
{
    if (BreakpointHandlerProc handler = BreakpointHandler.load(std::memory_order_relaxed)) {
        handler();
        return;
    }
    const uint8_t* fetch = Cpu.FetchPointer;
    const DispatchTable& table = Decimal ? DecimalDispatchTable : HexDispatchTable;
    table[DispatchIndex(fetch[0] & 0x0F, fetch[1], fetch[2])]();
}

} // namespace

void BreakpointTrapHex()
{
    Trap<false>();
}

void BreakpointTrapDecimal()
{
    Trap<true>();
}

} // namespace korvane
