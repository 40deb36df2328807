// Register equality and zero tests: 8Ab on field A, 9ab with a 0-7 on the
// fields P to W, each ending in the GOYES/RTNYES tail. Nibbles are compared
// as values, so decimal mode changes nothing of the outcome.
#pragma once

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/decode/opcode_fill.h"
#include "engine/group8-9/test_tail.h"

namespace korvane {

// True when R and S agree in every nibble of field F. A field over both
// words looks at the high word only when the low word has not decided.
template <bool Decimal, Field F, Reg R, Reg S>
inline bool FieldsAgree()
{
    const NibbleRegister& r = Working<R>();
    const NibbleRegister& s = Working<S>();
    if constexpr (Decimal) {
        const unsigned lo = FieldLow<F>();
        for (unsigned k = FieldHigh<F>() + 1; k-- > lo;) {
            if (r.Nibbles[k] != s.Nibbles[k])
                return false;
        }
        return true;
    } else {
        const FieldMask m = MaskOf<F>();
        return ((r.PackedLow ^ s.PackedLow) & m.Low) == 0 && ((r.PackedHigh ^ s.PackedHigh) & m.High) == 0;
    }
}

template <bool Decimal, Field F, Reg R>
inline bool FieldIsZero()
{
    const NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        const unsigned lo = FieldLow<F>();
        for (unsigned k = FieldHigh<F>() + 1; k-- > lo;) {
            if (r.Nibbles[k] != 0)
                return false;
        }
        return true;
    } else {
        const FieldMask m = MaskOf<F>();
        return (r.PackedLow & m.Low) == 0 && (r.PackedHigh & m.High) == 0;
    }
}

template <bool Decimal, Field F, Reg R, Reg S, bool Equal>
void OpTestPair()
{
    TestBranchTail(FieldsAgree<Decimal, F, R, S>() == Equal, 3, FieldTestCost<F>());
}

template <bool Decimal, Field F, Reg R, bool Zero>
void OpTestZero()
{
    TestBranchTail(FieldIsZero<Decimal, F, R>() == Zero, 3, FieldTestCost<F>());
}

// The sixteen tests of one field, by the third opcode nibble.
template <bool Decimal, Field F>
constexpr void FillEqualityRow(DispatchTable& table, unsigned n0, unsigned n1)
{
    FillOpcode(table, n0, n1, 0x0, &OpTestPair<Decimal, F, Reg::A, Reg::B, true>);  // ?A=B
    FillOpcode(table, n0, n1, 0x1, &OpTestPair<Decimal, F, Reg::B, Reg::C, true>);  // ?B=C
    FillOpcode(table, n0, n1, 0x2, &OpTestPair<Decimal, F, Reg::C, Reg::A, true>);  // ?C=A
    FillOpcode(table, n0, n1, 0x3, &OpTestPair<Decimal, F, Reg::D, Reg::C, true>);  // ?D=C
    FillOpcode(table, n0, n1, 0x4, &OpTestPair<Decimal, F, Reg::A, Reg::B, false>); // ?A#B
    FillOpcode(table, n0, n1, 0x5, &OpTestPair<Decimal, F, Reg::B, Reg::C, false>); // ?B#C
    FillOpcode(table, n0, n1, 0x6, &OpTestPair<Decimal, F, Reg::C, Reg::A, false>); // ?C#A
    FillOpcode(table, n0, n1, 0x7, &OpTestPair<Decimal, F, Reg::D, Reg::C, false>); // ?D#C
    FillOpcode(table, n0, n1, 0x8, &OpTestZero<Decimal, F, Reg::A, true>);          // ?A=0
    FillOpcode(table, n0, n1, 0x9, &OpTestZero<Decimal, F, Reg::B, true>);          // ?B=0
    FillOpcode(table, n0, n1, 0xA, &OpTestZero<Decimal, F, Reg::C, true>);          // ?C=0
    FillOpcode(table, n0, n1, 0xB, &OpTestZero<Decimal, F, Reg::D, true>);          // ?D=0
    FillOpcode(table, n0, n1, 0xC, &OpTestZero<Decimal, F, Reg::A, false>);         // ?A#0
    FillOpcode(table, n0, n1, 0xD, &OpTestZero<Decimal, F, Reg::B, false>);         // ?B#0
    FillOpcode(table, n0, n1, 0xE, &OpTestZero<Decimal, F, Reg::C, false>);         // ?C#0
    FillOpcode(table, n0, n1, 0xF, &OpTestZero<Decimal, F, Reg::D, false>);         // ?D#0
}

template <bool Decimal>
constexpr void FillEqualityTests(DispatchTable& table)
{
    FillEqualityRow<Decimal, Field::A>(table, 0x8, 0xA);  // 8Ab  ?..A
    FillEqualityRow<Decimal, Field::P>(table, 0x9, 0x0);  // 90b  ?..P
    FillEqualityRow<Decimal, Field::WP>(table, 0x9, 0x1); // 91b  ?..WP
    FillEqualityRow<Decimal, Field::XS>(table, 0x9, 0x2); // 92b  ?..XS
    FillEqualityRow<Decimal, Field::X>(table, 0x9, 0x3);  // 93b  ?..X
    FillEqualityRow<Decimal, Field::S>(table, 0x9, 0x4);  // 94b  ?..S
    FillEqualityRow<Decimal, Field::M>(table, 0x9, 0x5);  // 95b  ?..M
    FillEqualityRow<Decimal, Field::B>(table, 0x9, 0x6);  // 96b  ?..B
    FillEqualityRow<Decimal, Field::W>(table, 0x9, 0x7);  // 97b  ?..W
}

} // namespace korvane
