#include "engine/decode/stubs.h"

#include "engine/core/fields.h"
#include "engine/decode/leaves.h"

namespace korvane {

namespace {

constexpr unsigned ModeIndex(bool decimal)
{
    return decimal ? 1 : 0;
}

unsigned FieldNibble(unsigned position)
{
    return FieldIndex(FieldFromCode(OperandNibble(position)));
}

} // namespace

template <bool Decimal>
void SubDecode808()
{
    constexpr unsigned M = ModeIndex(Decimal);
    switch (OperandNibble(3)) {
    case 0x0:
        return OpIntOn(); // 8080  INTON
    case 0x1:
        if (OperandNibble(4) == 0)
            OpRsi(); // 80810  RSI
        return;
    case 0x2:
        return LoadAddressLeaves[M][OperandNibble(4)](); // 8082n  LA
    case 0x3:
    case 0xD:
        return OpBusCB(); // 8083 BUSCB, 808D BUSCD
    case 0x4:
        return BitAssignLeaves[M][0][OperandNibble(4)](); // 8084n  ABIT=0
    case 0x5:
        return BitAssignLeaves[M][1][OperandNibble(4)](); // 8085n  ABIT=1
    case 0x6:
        return BitTestLeaves[M][0][OperandNibble(4)](); // 8086n  ?ABIT=0
    case 0x7:
        return BitTestLeaves[M][1][OperandNibble(4)](); // 8087n  ?ABIT=1
    case 0x8:
        return BitAssignLeaves[M][2][OperandNibble(4)](); // 8088n  CBIT=0
    case 0x9:
        return BitAssignLeaves[M][3][OperandNibble(4)](); // 8089n  CBIT=1
    case 0xA:
        return BitTestLeaves[M][2][OperandNibble(4)](); // 808An  ?CBIT=0
    case 0xB:
        return BitTestLeaves[M][3][OperandNibble(4)](); // 808Bn  ?CBIT=1
    case 0xC:
        return JumpThroughMemoryLeaves[M][0](); // 808C  PC=(A)
    case 0xE:
        return JumpThroughMemoryLeaves[M][1](); // 808E  PC=(C)
    default:
        return OpIntOff(); // 808F  INTOFF
    }
}

template <bool Decimal>
void SubDecode80C()
{
    CFromPLeaves[ModeIndex(Decimal)][OperandNibble(3)]();
}

template <bool Decimal>
void SubDecode80D()
{
    PFromCLeaves[ModeIndex(Decimal)][OperandNibble(3)]();
}

template <bool Decimal>
void SubDecode80F()
{
    CPExchangeLeaves[ModeIndex(Decimal)][OperandNibble(3)]();
}

// s: 0-3 add to A-D, 8-B subtract from A-D; the others are no instruction,
// and the constant nibble is then not read.
template <bool Decimal>
void SubDecode818()
{
    static constexpr int8_t Kind[16] = {0, 1, 2, 3, -1, -1, -1, -1, 4, 5, 6, 7, -1, -1, -1, -1};
    const unsigned field = FieldNibble(3);
    const int kind = Kind[OperandNibble(4)];
    if (kind < 0)
        return;
    ConstantArithmeticLeaves[ModeIndex(Decimal)][field][kind][OperandNibble(5)]();
}

template <bool Decimal>
void SubDecode819()
{
    const unsigned field = FieldNibble(3);
    const unsigned s = OperandNibble(4);
    if (s > 3)
        return;
    FieldShiftLeaves[ModeIndex(Decimal)][field][s]();
}

template <bool Decimal>
void SubDecode81A()
{
    const unsigned field = FieldNibble(3);
    const unsigned o = OperandNibble(4);
    if (o > 2)
        return;
    ScratchFieldLeaves[ModeIndex(Decimal)][field][o][OperandNibble(5)]();
}

template <bool Decimal>
void SubDecode81B()
{
    const unsigned x = OperandNibble(3);
    if (x >= 0x2 && x <= 0x7)
        return PcTransferLeaves[ModeIndex(Decimal)][x - 2](); // PC=A, PC=C, A=PC, C=PC, APCEX, CPCEX
    if (x >= 0x8 && x <= 0xB)
        return MultiplyDivideLeaves[ModeIndex(Decimal)][x - 8](); // 81B8-81BB
}

template void SubDecode808<false>();
template void SubDecode808<true>();
template void SubDecode80C<false>();
template void SubDecode80C<true>();
template void SubDecode80D<false>();
template void SubDecode80D<true>();
template void SubDecode80F<false>();
template void SubDecode80F<true>();
template void SubDecode818<false>();
template void SubDecode818<true>();
template void SubDecode819<false>();
template void SubDecode819<true>();
template void SubDecode81A<false>();
template void SubDecode81A<true>();
template void SubDecode81B<false>();
template void SubDecode81B<true>();

} // namespace korvane
