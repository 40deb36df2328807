// The leaf handlers that the decode stubs of the longer opcodes select.
// Each family defines its own tables; the first index is the mode: 0 for the
// hexadecimal member, 1 for the decimal member.
#pragma once

#include <array>
#include <cstddef>

#include "engine/core/dispatch.h"

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

// 0Efo: AND and OR on field f (f 8-F share the field-A handlers), by o.
extern const LeafTable<2, 16, 16> AndOrLeaves;
// 15xy: memory transfers, x 0-7 on field y (8-F: field A), x 8-F on y+1 nibbles.
extern const LeafTable<2, 16, 16> MemoryTransferLeaves;

// 808 group, control: INTON, INTOFF, RSI, BUSCB/BUSCD are one handler in
// both tables.
void OpIntOn();
void OpIntOff();
void OpRsi();
void OpBusCB();
// 8082n: LA with n+1 nibbles.
extern const LeafTable<2, 16> LoadAddressLeaves;
// 8084n ABIT=0, 8085n ABIT=1, 8088n CBIT=0, 8089n CBIT=1, by [kind][n].
extern const LeafTable<2, 4, 16> BitAssignLeaves;
// 8086n ?ABIT=0, 8087n ?ABIT=1, 808An ?CBIT=0, 808Bn ?CBIT=1, by [kind][n].
extern const LeafTable<2, 4, 16> BitTestLeaves;
// 808C PC=(A), 808E PC=(C).
extern const LeafTable<2, 2> JumpThroughMemoryLeaves;
// 80Cn C=P n, 80Dn P=C n, 80Fn CPEX n.
extern const LeafTable<2, 16> CFromPLeaves;
extern const LeafTable<2, 16> PFromCLeaves;
extern const LeafTable<2, 16> CPExchangeLeaves;
// 818fsn: [field index 0-8][s: 0-3 add to A-D, 4-7 subtract from A-D][n].
extern const LeafTable<2, 9, 8, 16> ConstantArithmeticLeaves;
// 819fs: one-bit right shift of a field of A-D, [field index 0-8][s].
extern const LeafTable<2, 9, 4> FieldShiftLeaves;
// 81Afon: scratch-register field transfers, [field index 0-8][o 0-2][n].
extern const LeafTable<2, 9, 3, 16> ScratchFieldLeaves;
// 81B2-81B7: PC=A, PC=C, A=PC, C=PC, APCEX, CPCEX.
extern const LeafTable<2, 6> PcTransferLeaves;
// 81B8-81BB: the multiply and divide extension.
extern const LeafTable<2, 4> MultiplyDivideLeaves;

} // namespace korvane
