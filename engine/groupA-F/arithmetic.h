// Field arithmetic and logic, opcode groups A to F. Groups A and B take the
// field from their second nibble (its top bit selects the second set of
// operations); C, D, E and F are the four sets on field A.
#pragma once

#include "engine/core/dispatch.h"
#include "engine/groupA-F/add_subtract.h"
#include "engine/groupA-F/moves.h"
#include "engine/groupA-F/shifts.h"

namespace korvane {

template <bool Decimal, Field F, unsigned Pair = 0>
constexpr void FillFieldOperations(DispatchTable& table)
{
    if constexpr (Pair < 4) {
        FillAddSubtract<Decimal, F, Pair>(table);
        FillMoves<Decimal, F, Pair>(table);
        FillShifts<Decimal, F, Pair>(table);
        FillFieldOperations<Decimal, F, Pair + 1>(table);
    }
}

template <bool Decimal>
constexpr void FillArithmetic(DispatchTable& table)
{
    FillFieldOperations<Decimal, Field::P>(table);  // A0b A8b B0b B8b
    FillFieldOperations<Decimal, Field::WP>(table); // A1b A9b B1b B9b
    FillFieldOperations<Decimal, Field::XS>(table); // A2b AAb B2b BAb
    FillFieldOperations<Decimal, Field::X>(table);  // A3b ABb B3b BBb
    FillFieldOperations<Decimal, Field::S>(table);  // A4b ACb B4b BCb
    FillFieldOperations<Decimal, Field::M>(table);  // A5b ADb B5b BDb
    FillFieldOperations<Decimal, Field::B>(table);  // A6b AEb B6b BEb
    FillFieldOperations<Decimal, Field::W>(table);  // A7b AFb B7b BFb
    FillFieldOperations<Decimal, Field::A>(table);  // Cb Db Eb Fb
}

} // namespace korvane
