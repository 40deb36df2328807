// Group 0: returns, mode switches, return-stack and status transfers,
// P=P+1 and P=P-1 (00-0D, 0F; 0E is AND/OR in logic.h).
#pragma once

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/core/interrupts.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

// Returns: the flag step comes before the hook sees the pop.
enum class ReturnKind { SetXM, Plain, SetCarry, ClearCarry, Interrupt };

template <ReturnKind Kind, bool Told>
inline void Return()
{
    if constexpr (Kind == ReturnKind::SetXM)
        Cpu.HST |= HstXM;
    if constexpr (Kind == ReturnKind::SetCarry)
        Cpu.Carry = 1;
    if constexpr (Kind == ReturnKind::ClearCarry)
        Cpu.Carry = 0;
    Cpu.PC = PopReturnStack<Told>(); // unmasked: the routine sentinel must come back whole
    if constexpr (Kind == ReturnKind::Interrupt)
        ReturnFromInterrupt();
    Cpu.SliceCycles += 44;
}

template <ReturnKind Kind>
[[gnu::noinline]] void OpReturnTold()
{
    Return<Kind, true>();
}

template <ReturnKind Kind>
void OpReturn()
{
    if (DebuggingHackSet()) [[unlikely]]
        return OpReturnTold<Kind>();
    Return<Kind, false>();
}

inline void OpSetHex()
{
    SwitchToHex();
    Cpu.PC += 2;
    Cpu.SliceCycles += 16;
}

inline void OpSetDec()
{
    SwitchToDecimal();
    Cpu.PC += 2;
    Cpu.SliceCycles += 16;
}

template <bool Decimal>
void OpRstkC()
{
    const uint32_t value = ReadFieldA<Decimal>(Cpu.C); // taken before the hook runs
    PushReturnStack(value);
    Cpu.PC += 2;
    Cpu.SliceCycles += 32;
}

template <bool Decimal>
void OpCRstk()
{
    WriteFieldA<Decimal>(Cpu.C, PopReturnStack());
    Cpu.PC += 2;
    Cpu.SliceCycles += 32;
}

inline void OpClrSt()
{
    Cpu.ST &= 0xF000;
    Cpu.PC += 2;
    Cpu.SliceCycles += 28;
}

template <bool Decimal>
void OpCSt()
{
    WriteCLow12<Decimal>(Cpu.ST & 0xFFF);
    Cpu.PC += 2;
    Cpu.SliceCycles += 28;
}

template <bool Decimal>
void OpStC()
{
    Cpu.ST = static_cast<uint16_t>((Cpu.ST & 0xF000) | ReadCLow12<Decimal>());
    Cpu.PC += 2;
    Cpu.SliceCycles += 28;
}

template <bool Decimal>
void OpCStEx()
{
    const uint32_t c = ReadCLow12<Decimal>();
    WriteCLow12<Decimal>(Cpu.ST & 0xFFF);
    Cpu.ST = static_cast<uint16_t>((Cpu.ST & 0xF000) | c);
    Cpu.PC += 2;
    Cpu.SliceCycles += 28;
}

inline void OpPInc()
{
    Cpu.Carry = Cpu.P == 15;
    SetP(static_cast<uint8_t>((Cpu.P + 1) & 15));
    Cpu.PC += 2;
    Cpu.SliceCycles += 16;
}

inline void OpPDec()
{
    Cpu.Carry = Cpu.P == 0;
    SetP(static_cast<uint8_t>((Cpu.P - 1) & 15));
    Cpu.PC += 2;
    Cpu.SliceCycles += 16;
}

template <bool Decimal>
constexpr void FillGroup0(DispatchTable& table)
{
    FillOpcode(table, 0x0, 0x0, &OpReturn<ReturnKind::SetXM>);      // 00  RTNSXM
    FillOpcode(table, 0x0, 0x1, &OpReturn<ReturnKind::Plain>);      // 01  RTN
    FillOpcode(table, 0x0, 0x2, &OpReturn<ReturnKind::SetCarry>);   // 02  RTNSC
    FillOpcode(table, 0x0, 0x3, &OpReturn<ReturnKind::ClearCarry>); // 03  RTNCC
    FillOpcode(table, 0x0, 0x4, &OpSetHex);                         // 04  SETHEX
    FillOpcode(table, 0x0, 0x5, &OpSetDec);                         // 05  SETDEC
    FillOpcode(table, 0x0, 0x6, &OpRstkC<Decimal>);                 // 06  RSTK=C
    FillOpcode(table, 0x0, 0x7, &OpCRstk<Decimal>);                 // 07  C=RSTK
    FillOpcode(table, 0x0, 0x8, &OpClrSt);                          // 08  CLRST
    FillOpcode(table, 0x0, 0x9, &OpCSt<Decimal>);                   // 09  C=ST
    FillOpcode(table, 0x0, 0xA, &OpStC<Decimal>);                   // 0A  ST=C
    FillOpcode(table, 0x0, 0xB, &OpCStEx<Decimal>);                 // 0B  CSTEX
    FillOpcode(table, 0x0, 0xC, &OpPInc);                           // 0C  P=P+1
    FillOpcode(table, 0x0, 0xD, &OpPDec);                           // 0D  P=P-1
    FillOpcode(table, 0x0, 0xF, &OpReturn<ReturnKind::Interrupt>);  // 0F  RTI
}

} // namespace korvane
