// Register order comparisons: 8Bb on field A, 9ab with a 8-F on the fields
// P to W, each ending in the GOYES/RTNYES tail. The field's nibbles form an
// unsigned number; nibble values, not decimal digits, so both modes agree.
#pragma once

#include <cstdint>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/decode/opcode_fill.h"
#include "engine/group8-9/test_tail.h"

namespace korvane {

enum class Order { Greater, Less, GreaterEqual, LessEqual };

template <Order O>
inline bool OrderHolds(uint32_t r, uint32_t s)
{
    if constexpr (O == Order::Greater)
        return r > s;
    else if constexpr (O == Order::Less)
        return r < s;
    else if constexpr (O == Order::GreaterEqual)
        return r >= s;
    else
        return r <= s;
}

// The masks cut the field out in place, so the masked words compare as the
// field's values; the high word is the more significant and decides first.
template <bool Decimal, Field F, Reg R, Reg S, Order O>
inline bool FieldOrderHolds()
{
    const NibbleRegister& r = Working<R>();
    const NibbleRegister& s = Working<S>();
    if constexpr (Decimal) {
        const unsigned lo = FieldLow<F>();
        unsigned k = FieldHigh<F>();
        while (k > lo && r.Nibbles[k] == s.Nibbles[k])
            --k;
        return OrderHolds<O>(r.Nibbles[k], s.Nibbles[k]);
    } else {
        const FieldMask m = MaskOf<F>();
        const uint32_t rHigh = r.PackedHigh & m.High;
        const uint32_t sHigh = s.PackedHigh & m.High;
        if (rHigh != sHigh)
            return OrderHolds<O>(rHigh, sHigh);
        return OrderHolds<O>(r.PackedLow & m.Low, s.PackedLow & m.Low);
    }
}

template <bool Decimal, Field F, Reg R, Reg S, Order O>
void OpCompareOrder()
{
    TestBranchTail(FieldOrderHolds<Decimal, F, R, S, O>(), 3, FieldTestCost<F>());
}

// The sixteen comparisons of one field, by the third opcode nibble.
template <bool Decimal, Field F>
constexpr void FillOrderRow(DispatchTable& table, unsigned n0, unsigned n1)
{
    FillOpcode(table, n0, n1, 0x0, &OpCompareOrder<Decimal, F, Reg::A, Reg::B, Order::Greater>);      // ?A>B
    FillOpcode(table, n0, n1, 0x1, &OpCompareOrder<Decimal, F, Reg::B, Reg::C, Order::Greater>);      // ?B>C
    FillOpcode(table, n0, n1, 0x2, &OpCompareOrder<Decimal, F, Reg::C, Reg::A, Order::Greater>);      // ?C>A
    FillOpcode(table, n0, n1, 0x3, &OpCompareOrder<Decimal, F, Reg::D, Reg::C, Order::Greater>);      // ?D>C
    FillOpcode(table, n0, n1, 0x4, &OpCompareOrder<Decimal, F, Reg::A, Reg::B, Order::Less>);         // ?A<B
    FillOpcode(table, n0, n1, 0x5, &OpCompareOrder<Decimal, F, Reg::B, Reg::C, Order::Less>);         // ?B<C
    FillOpcode(table, n0, n1, 0x6, &OpCompareOrder<Decimal, F, Reg::C, Reg::A, Order::Less>);         // ?C<A
    FillOpcode(table, n0, n1, 0x7, &OpCompareOrder<Decimal, F, Reg::D, Reg::C, Order::Less>);         // ?D<C
    FillOpcode(table, n0, n1, 0x8, &OpCompareOrder<Decimal, F, Reg::A, Reg::B, Order::GreaterEqual>); // ?A>=B
    FillOpcode(table, n0, n1, 0x9, &OpCompareOrder<Decimal, F, Reg::B, Reg::C, Order::GreaterEqual>); // ?B>=C
    FillOpcode(table, n0, n1, 0xA, &OpCompareOrder<Decimal, F, Reg::C, Reg::A, Order::GreaterEqual>); // ?C>=A
    FillOpcode(table, n0, n1, 0xB, &OpCompareOrder<Decimal, F, Reg::D, Reg::C, Order::GreaterEqual>); // ?D>=C
    FillOpcode(table, n0, n1, 0xC, &OpCompareOrder<Decimal, F, Reg::A, Reg::B, Order::LessEqual>);    // ?A<=B
    FillOpcode(table, n0, n1, 0xD, &OpCompareOrder<Decimal, F, Reg::B, Reg::C, Order::LessEqual>);    // ?B<=C
    FillOpcode(table, n0, n1, 0xE, &OpCompareOrder<Decimal, F, Reg::C, Reg::A, Order::LessEqual>);    // ?C<=A
    FillOpcode(table, n0, n1, 0xF, &OpCompareOrder<Decimal, F, Reg::D, Reg::C, Order::LessEqual>);    // ?D<=C
}

template <bool Decimal>
constexpr void FillOrderTests(DispatchTable& table)
{
    FillOrderRow<Decimal, Field::A>(table, 0x8, 0xB);  // 8Bb  ?..A
    FillOrderRow<Decimal, Field::P>(table, 0x9, 0x8);  // 98b  ?..P
    FillOrderRow<Decimal, Field::WP>(table, 0x9, 0x9); // 99b  ?..WP
    FillOrderRow<Decimal, Field::XS>(table, 0x9, 0xA); // 9Ab  ?..XS
    FillOrderRow<Decimal, Field::X>(table, 0x9, 0xB);  // 9Bb  ?..X
    FillOrderRow<Decimal, Field::S>(table, 0x9, 0xC);  // 9Cb  ?..S
    FillOrderRow<Decimal, Field::M>(table, 0x9, 0xD);  // 9Db  ?..M
    FillOrderRow<Decimal, Field::B>(table, 0x9, 0xE);  // 9Eb  ?..B
    FillOrderRow<Decimal, Field::W>(table, 0x9, 0xF);  // 9Fb  ?..W
}

} // namespace korvane
