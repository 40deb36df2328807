// The leaf tables of the decode stubs. A stub reads one selector nibble per
// level and indexes a table of sixteen entries by the nibble's value, so that
// a table reads like the opcode table: an entry is a leaf handler, the level
// that reads the next nibble, or OpNoInstruction. Where the first of two
// nibbles never ends the decoding (the field of 818, 819 and 81A), one table
// takes both. The first index of every table is the mode: 0 for the
// hexadecimal member, 1 for the decimal member.
#pragma once

#include <array>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "engine/core/dispatch.h"
#include "engine/core/fields.h"

#pragma GCC visibility push(hidden)
namespace korvane {

template <typename T, std::size_t N, std::size_t... Rest>
struct NestedArray {
    using type = std::array<typename NestedArray<T, Rest...>::type, N>;
};

template <typename T, std::size_t N>
struct NestedArray<T, N> {
    using type = std::array<T, N>;
};

template <std::size_t... Dims>
using LeafTable = typename NestedArray<InstructionHandler, Dims...>::type;

// Sixteen entries, one per value of a selector nibble.
using LeafRow = std::array<InstructionHandler, 16>;

constexpr unsigned ModeIndex(bool decimal)
{
    return decimal ? 1 : 0;
}

// A selector that names no instruction: no length, no cost, no effect. The
// machine stays on the instruction until an interrupt entry or a stop moves
// PC on.
void OpNoInstruction();

// The row of leaf(0) to leaf(15), where leaf takes its nibble as a
// std::integral_constant, so that the nibble can be a template argument.
template <typename Leaf>
consteval LeafRow LeafRowOf(Leaf leaf)
{
    return [&]<unsigned... N>(std::integer_sequence<unsigned, N...>) {
        return LeafRow{leaf(std::integral_constant<unsigned, N>{})...};
    }(std::make_integer_sequence<unsigned, 16>{});
}

// The rows of the sixteen field codes from rowOf(field), where rowOf takes
// the field as a std::integral_constant: codes 0 to 7 are P, WP, XS, X, S,
// M, B and W, and 8 to F all reach the one row of field A.
template <typename RowOf>
consteval LeafTable<16, 16> RowsByFieldCode(RowOf rowOf)
{
    const std::array<LeafRow, 9> rows = [&]<unsigned... I>(std::integer_sequence<unsigned, I...>) {
        return std::array<LeafRow, 9>{rowOf(std::integral_constant<Field, static_cast<Field>(I)>{})...};
    }(std::make_integer_sequence<unsigned, 9>{});
    LeafTable<16, 16> byCode{};
    for (unsigned code = 0; code < 16; ++code)
        byCode[code] = rows[FieldIndex(FieldFromCode(code))];
    return byCode;
}

// 0Efo: AND and OR, by field code f and operation o (decode/logic.cpp).
extern const LeafTable<2, 16, 16> AndOrLeaves;
// 15xy: memory transfers, x 0-7 on field y, x 8-F on y+1 nibbles
// (decode/transfers.cpp).
extern const LeafTable<2, 16, 16> MemoryTransferLeaves;
// 808x: by x; the x that take nibble 4 lead to its level (decode/stubs.cpp).
extern const LeafTable<2, 16> Leaves808;
// 80Cn C=P n, 80Dn P=C n, 80Fn CPEX n (decode/stubs.cpp).
extern const LeafTable<2, 16> CFromPLeaves;
extern const LeafTable<2, 16> PFromCLeaves;
extern const LeafTable<2, 16> CPExchangeLeaves;
// 818fs: by field code f and s; s 0-3 and 8-B lead to the level of the
// constant, nibble 5 (group8/constant_arithmetic.cpp).
extern const LeafTable<2, 16, 16> ConstantArithmeticLeaves;
// 819fs: by field code f and s (group8/field_shifts.cpp).
extern const LeafTable<2, 16, 16> FieldShiftLeaves;
// 81Afo: by field code f and o; o 0-2 lead to the level of the register
// pair, nibble 5 (group8-9/scratch_fields.cpp).
extern const LeafTable<2, 16, 16> ScratchFieldLeaves;
// 81Bx: by x (decode/stubs.cpp).
extern const LeafTable<2, 16> Leaves81B;

} // namespace korvane
#pragma GCC visibility pop
