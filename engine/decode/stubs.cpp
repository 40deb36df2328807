// The decode stubs of group 8 and the leaf tables they index where more than
// one family meets: 808 and 81B, with 80C, 80D and 80F beside them. The
// tables of 818, 819 and 81A belong to their families (leaves.h names the
// files). Every table is indexed by the raw selector nibble.
#include "engine/decode/stubs.h"

#include "engine/decode/leaves.h"
#include "engine/group8-9/bit_tests.h"
#include "engine/group8-9/multiply_divide.h"
#include "engine/group8/bit_set_clear.h"
#include "engine/group8/control.h"
#include "engine/group8/p_pc_transfers.h"

namespace korvane {

void OpNoInstruction() {}

namespace {

// 808x by x (nibble 3). The x that take nibble 4 lead to its level.
template <bool Decimal>
constexpr LeafRow Leaves808Of()
{
    return {
        &OpIntOn,                                     // 8080   INTON
        &RsiLevel,                                    // 8081n  RSI for n = 0
        &LoadAddressLevel<Decimal>,                   // 8082n  LA
        &OpBusCB,                                     // 8083   BUSCB
        &BitAssignLevel<Decimal, Reg::A, false>,      // 8084n  ABIT=0
        &BitAssignLevel<Decimal, Reg::A, true>,       // 8085n  ABIT=1
        &BitTestLevel<Decimal, Reg::A, false>,        // 8086n  ?ABIT=0
        &BitTestLevel<Decimal, Reg::A, true>,         // 8087n  ?ABIT=1
        &BitAssignLevel<Decimal, Reg::C, false>,      // 8088n  CBIT=0
        &BitAssignLevel<Decimal, Reg::C, true>,       // 8089n  CBIT=1
        &BitTestLevel<Decimal, Reg::C, false>,        // 808An  ?CBIT=0
        &BitTestLevel<Decimal, Reg::C, true>,         // 808Bn  ?CBIT=1
        &OpJumpThroughMemory<Decimal, Reg::A, true>,  // 808C   PC=(A)
        &OpBusCB,                                     // 808D   BUSCD
        &OpJumpThroughMemory<Decimal, Reg::C, false>, // 808E   PC=(C)
        &OpIntOff,                                    // 808F   INTOFF
    };
}

// 81Bx by x (nibble 3).
template <bool Decimal>
constexpr LeafRow Leaves81BOf()
{
    return {
        &OpNoInstruction,                   // 81B0
        &OpNoInstruction,                   // 81B1
        &OpPcFromRegister<Decimal, Reg::A>, // 81B2  PC=A
        &OpPcFromRegister<Decimal, Reg::C>, // 81B3  PC=C
        &OpRegisterFromPc<Decimal, Reg::A>, // 81B4  A=PC
        &OpRegisterFromPc<Decimal, Reg::C>, // 81B5  C=PC
        &OpPcExchange<Decimal, Reg::A>,     // 81B6  APCEX
        &OpPcExchange<Decimal, Reg::C>,     // 81B7  CPCEX
        &OpMultiplyWord<Decimal>,           // 81B8  C.W=C.W*A.W
        &OpMultiplyAddress<Decimal>,        // 81B9  C.A=C.A*A.A
        &OpDivideWord<Decimal>,             // 81BA  C.W=C.W/A.W (signed)
        &OpDivideAddress<Decimal>,          // 81BB  C.A=C.A/A.A
        &OpNoInstruction,                   // 81BC
        &OpNoInstruction,                   // 81BD
        &OpNoInstruction,                   // 81BE
        &OpNoInstruction,                   // 81BF
    };
}

} // namespace

constinit const LeafTable<2, 16> Leaves808 = {Leaves808Of<false>(), Leaves808Of<true>()};
// 80Cn  C=P n
constinit const LeafTable<2, 16> CFromPLeaves = {CFromPRow<false>(), CFromPRow<true>()};
// 80Dn  P=C n
constinit const LeafTable<2, 16> PFromCLeaves = {PFromCRow<false>(), PFromCRow<true>()};
// 80Fn  CPEX n
constinit const LeafTable<2, 16> CPExchangeLeaves = {CPExchangeRow<false>(), CPExchangeRow<true>()};
constinit const LeafTable<2, 16> Leaves81B = {Leaves81BOf<false>(), Leaves81BOf<true>()};

template <bool Decimal>
void SubDecode808()
{
    Leaves808[ModeIndex(Decimal)][OperandNibble(3)]();
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

template <bool Decimal>
void SubDecode818()
{
    ConstantArithmeticLeaves[ModeIndex(Decimal)][OperandNibble(3)][OperandNibble(4)]();
}

template <bool Decimal>
void SubDecode819()
{
    FieldShiftLeaves[ModeIndex(Decimal)][OperandNibble(3)][OperandNibble(4)]();
}

template <bool Decimal>
void SubDecode81A()
{
    ScratchFieldLeaves[ModeIndex(Decimal)][OperandNibble(3)][OperandNibble(4)]();
}

template <bool Decimal>
void SubDecode81B()
{
    Leaves81B[ModeIndex(Decimal)][OperandNibble(3)]();
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
