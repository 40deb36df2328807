// The opcode map: the two dispatch tables, built when the library is built.
// Each family of instructions fills the entries of its opcodes; every entry
// whose first nibble carries the breakpoint tag leads to the trap. The stubs
// of the longer opcodes lead on to their leaves (decode/stubs.cpp).
#pragma once

#include "engine/core/dispatch.h"
#include "engine/decode/data_pointers.h"
#include "engine/decode/group0.h"
#include "engine/decode/jumps.h"
#include "engine/decode/loads.h"
#include "engine/decode/logic.h"
#include "engine/decode/opcode_fill.h"
#include "engine/decode/scratch.h"
#include "engine/decode/stubs.h"
#include "engine/decode/transfers.h"
#include "engine/group8-9/equality_tests.h"
#include "engine/group8-9/long_jumps.h"
#include "engine/group8-9/order_tests.h"
#include "engine/group8-9/status_tests.h"
#include "engine/group8/control.h"
#include "engine/group8/rotates_shifts.h"
#include "engine/groupA-F/arithmetic.h"

namespace korvane {

namespace {
// Marks an entry that no family has filled. Entries are compared with it, not
// with null: with null-pointer sanitizing on, the compiler does not decide at
// build time whether a function's address is null.
[[maybe_unused]] void EntryNotFilled() {}
} // namespace

template <bool Decimal>
consteval DispatchTable BuildDispatchTable()
{
    DispatchTable table{};
    table.fill(&EntryNotFilled);

                                       // opcodes                               handlers in
    FillGroup0<Decimal>(table);        // 00-0D, 0F                             decode/group0.h
    FillLogic<Decimal>(table);         // 0E                                    decode/logic.h, logic.cpp
    FillScratch<Decimal>(table);       // 10-12                                 decode/scratch.h
    FillDataPointers<Decimal>(table);  // 13, 16-1F                             decode/data_pointers.h
    FillTransfers<Decimal>(table);     // 14, 15                                decode/transfers.h, transfers.cpp
    FillLoads<Decimal>(table);         // 2, 3                                  decode/loads.h, loads.cpp
    FillJumps<Decimal>(table);         // 4-7                                   decode/jumps.h
    FillControl<Decimal>(table);       // 800-807, 809-80B, 80E, 82, 84, 85     group8/control.h
    FillGroup8Stubs<Decimal>(table);   // 808, 80C, 80D, 80F, 818-81B           decode/stubs.cpp, leaves.h
    FillRotatesShifts<Decimal>(table); // 810-817, 81C-81F                      group8/rotates_shifts.h
    FillStatusTests<Decimal>(table);   // 83, 86-89                             group8-9/status_tests.h
    FillEqualityTests<Decimal>(table); // 8A, 90-97                             group8-9/equality_tests.h
    FillOrderTests<Decimal>(table);    // 8B, 98-9F                             group8-9/order_tests.h
    FillLongJumps<Decimal>(table);     // 8C-8F                                 group8-9/long_jumps.h
    FillArithmetic<Decimal>(table);    // A-F                                   groupA-F/add_subtract.h moves.h shifts.h

    const InstructionHandler trap = Decimal ? &BreakpointTrapDecimal : &BreakpointTrapHex;
    for (unsigned index = 0; index < table.size(); ++index) {
        if (index & BreakpointTag)
            table[index] = trap;
        // Every three-nibble prefix begins an instruction or a stub: an entry
        // left empty stops the build here.
        if (table[index] == &EntryNotFilled)
            throw "a dispatch entry has no handler";
    }
    return table;
}

} // namespace korvane
