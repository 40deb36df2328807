// The leaves of the 15xy memory transfers, reached through the SubDecode15
// stubs of transfers.h:
//
//   x 0 / 8  DAT0=A      x 4 / C  DAT0=C
//   x 1 / 9  DAT1=A      x 5 / D  DAT1=C
//   x 2 / A  A=DAT0      x 6 / E  C=DAT0
//   x 3 / B  A=DAT1      x 7 / F  C=DAT1
//
// x 0-7 move field y (0 P, 1 WP, 2 XS, 3 X, 4 S, 5 M, 6 B, 7 W, 8-F A);
// x 8-F move y+1 nibbles from nibble 0.
#include "engine/decode/transfers.h"

#include <array>
#include <utility>

#include "engine/core/fields.h"
#include "engine/decode/leaves.h"

namespace korvane {

namespace {

// Fields P and WP take P as it is when the instruction runs, and WP's cost
// follows it.
template <bool Decimal, unsigned X, Field F>
void OpTransferField()
{
    const unsigned count = FieldLength<F>();
    if constexpr (F == Field::A)
        MoveFieldA<Decimal, X>();
    else
        MoveNibbles<Decimal, X>(FieldLow<F>(), count);
    Cpu.PC += 4;
    Cpu.SliceCycles += (IsReadTransfer(X) ? 80 : 76) + 6 * count;
}

// The count forms go nibble by nibble even for five nibbles.
template <bool Decimal, unsigned X, unsigned Count>
void OpTransferCount()
{
    MoveNibbles<Decimal, X>(0, Count);
    Cpu.PC += 4;
    Cpu.SliceCycles += (IsReadTransfer(X) ? 76 : 72) + 6 * Count;
}

template <bool Decimal, unsigned X, unsigned Y>
constexpr InstructionHandler TransferLeaf()
{
    if constexpr (X < 8)
        return &OpTransferField<Decimal, X, FieldFromCode(Y)>; // 15xy  field y
    else
        return &OpTransferCount<Decimal, X - 8, Y + 1>; // 15xy  y+1 nibbles
}

template <bool Decimal, unsigned X, unsigned... Y>
constexpr std::array<InstructionHandler, 16> TransferRow(std::integer_sequence<unsigned, Y...>)
{
    return {TransferLeaf<Decimal, X, Y>()...};
}

template <bool Decimal, unsigned... X>
constexpr LeafTable<16, 16> TransferRows(std::integer_sequence<unsigned, X...>)
{
    return {TransferRow<Decimal, X>(std::make_integer_sequence<unsigned, 16>{})...};
}

constexpr LeafTable<2, 16, 16> BuildMemoryTransferLeaves()
{
    constexpr auto x = std::make_integer_sequence<unsigned, 16>{};
    return {TransferRows<false>(x), TransferRows<true>(x)};
}

} // namespace

constinit const LeafTable<2, 16, 16> MemoryTransferLeaves = BuildMemoryTransferLeaves();

} // namespace korvane
