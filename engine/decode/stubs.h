// Decode stubs of the opcodes of group 8 that need more than three nibbles:
// 808, 80C, 80D, 80F, 818, 819, 81A and 81B. A stub reads its selector
// nibbles and continues in the leaf they select through the tables of
// leaves.h; where they name no instruction it ends in OpNoInstruction, with
// nothing changed, not even PC.
#pragma once

#include "engine/core/dispatch.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

template <bool Decimal> void SubDecode808();
template <bool Decimal> void SubDecode80C();
template <bool Decimal> void SubDecode80D();
template <bool Decimal> void SubDecode80F();
template <bool Decimal> void SubDecode818();
template <bool Decimal> void SubDecode819();
template <bool Decimal> void SubDecode81A();
template <bool Decimal> void SubDecode81B();

template <bool Decimal>
constexpr void FillGroup8Stubs(DispatchTable& table)
{
    FillOpcode(table, 0x8, 0x0, 0x8, &SubDecode808<Decimal>); // 808x  INTON, RSI, LA, BUSCB, bit ops, PC=(A) ...
    FillOpcode(table, 0x8, 0x0, 0xC, &SubDecode80C<Decimal>); // 80Cn  C=P n
    FillOpcode(table, 0x8, 0x0, 0xD, &SubDecode80D<Decimal>); // 80Dn  P=C n
    FillOpcode(table, 0x8, 0x0, 0xF, &SubDecode80F<Decimal>); // 80Fn  CPEX n
    FillOpcode(table, 0x8, 0x1, 0x8, &SubDecode818<Decimal>); // 818fsn  r=r+k, r=r-k
    FillOpcode(table, 0x8, 0x1, 0x9, &SubDecode819<Decimal>); // 819fs  rSRB on a field
    FillOpcode(table, 0x8, 0x1, 0xA, &SubDecode81A<Decimal>); // 81Afon  Rn=r.f, r=Rn.f, rRnEX.f
    FillOpcode(table, 0x8, 0x1, 0xB, &SubDecode81B<Decimal>); // 81Bx  PC transfers, multiply, divide
}

} // namespace korvane
