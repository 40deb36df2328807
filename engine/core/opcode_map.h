// The two dispatch tables, built when the library is built. Each family of
// instructions fills the entries of its opcodes; every entry whose first
// nibble carries the breakpoint tag leads to the trap.
#pragma once

#include "engine/core/dispatch.h"
#include "engine/decode/group0.h"
#include "engine/decode/jumps.h"
#include "engine/decode/loads.h"
#include "engine/decode/logic.h"
#include "engine/decode/pointers.h"
#include "engine/decode/scratch.h"
#include "engine/decode/stubs.h"
#include "engine/decode/transfers.h"
#include "engine/group8-9/equality_tests.h"
#include "engine/group8-9/long_jumps.h"
#include "engine/group8-9/order_tests.h"
#include "engine/group8-9/status_tests.h"
#include "engine/group8/control.h"
#include "engine/group8/rotates.h"
#include "engine/groupA-F/arithmetic.h"

namespace korvane {

template <bool Decimal>
consteval DispatchTable BuildDispatchTable()
{
    DispatchTable table{};

    FillGroup0<Decimal>(table);        // 00-0D, 0F
    FillLogic<Decimal>(table);         // 0E
    FillScratch<Decimal>(table);       // 10-12
    FillPointers<Decimal>(table);      // 13, 16-1F
    FillTransfers<Decimal>(table);     // 14, 15
    FillLoads<Decimal>(table);         // 2, 3
    FillJumps<Decimal>(table);         // 4-7
    FillControl<Decimal>(table);       // 800-807, 809-80B, 80E, 82, 84, 85
    FillGroup8Stubs<Decimal>(table);   // 808, 80C, 80D, 80F, 818, 819, 81A, 81B
    FillRotates<Decimal>(table);       // 810-817, 81C-81F
    FillStatusTests<Decimal>(table);   // 83, 86-89
    FillEqualityTests<Decimal>(table); // 8A, 90-97
    FillOrderTests<Decimal>(table);    // 8B, 98-9F
    FillLongJumps<Decimal>(table);     // 8C-8F
    FillArithmetic<Decimal>(table);    // A-F

    // Every three-nibble prefix begins an instruction or a stub; the dispatch
    // tests check that no entry is left empty. (Comparing a handler's address
    // with null is not a constant expression under the undefined behaviour
    // sanitizer, so the build cannot check it here.)
    const InstructionHandler trap = Decimal ? &BreakpointTrapDecimal : &BreakpointTrapHex;
    for (unsigned index = 0; index < table.size(); ++index) {
        if (index & BreakpointTag)
            table[index] = trap;
    }
    return table;
}

} // namespace korvane
