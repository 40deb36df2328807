// Control and input/output: OUT=CS, OUT=C, A=IN, C=IN, UNCNFG, CONFIG, C=ID,
// SHUTDN, C+P+1, RESET, BUSCC, SREQ? (800-80E), HS=0 (82n), ST=0 (84n),
// ST=1 (85n). INTON, INTOFF, RSI and BUSCB/BUSCD sit behind the 808 stub
// (control.cpp).
#pragma once

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/core/interrupts.h"
#include "engine/core/keyboard.h"
#include "engine/core/memory.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

// The leaves of the 808 stub, one handler in both tables: 8080 INTON, 808F
// INTOFF, 80810 RSI (through RsiLevel, which reads nibble 4), 8083 BUSCB and
// 808D BUSCD.
void OpIntOn();
void OpIntOff();
void OpRsi();
void RsiLevel();
void OpBusCB();

// Writing OUT starts no scan: IN follows at the next one.
template <bool Decimal>
void OpOutCs()
{
    const uint32_t nibble = ReadCLow12<Decimal>() & 0xF;
    SetOut(static_cast<uint16_t>((Cpu.OUT & 0xFFF0) | nibble));
    Cpu.PC += 3;
    Cpu.SliceCycles += 22;
}

template <bool Decimal>
void OpOutC()
{
    SetOut(static_cast<uint16_t>((Cpu.OUT & 0xF000) | ReadCLow12<Decimal>()));
    Cpu.PC += 3;
    Cpu.SliceCycles += 30;
}

// A=IN, C=IN: the scan comes first, so a read sees the current OUT and
// matrix and counts as a scan for the wake and key-interrupt rules.
template <bool Decimal, Reg R>
void OpReadIn()
{
    ScanKeyboard();
    const uint32_t in = Cpu.IN;
    NibbleRegister& r = Working<R>();
    if constexpr (Decimal) {
        for (unsigned k = 0; k < 4; ++k)
            r.Nibbles[k] = (in >> (4 * k)) & 15;
    } else {
        r.PackedLow = (r.PackedLow & 0xFFFF0000u) | in;
    }
    Cpu.PC += 3;
    Cpu.SliceCycles += 34;
}

template <bool Decimal>
void OpUnconfigure()
{
    UnconfigureModule(ReadFieldA<Decimal>(Cpu.C));
    Cpu.PC += 3;
    Cpu.SliceCycles += 58;
}

template <bool Decimal>
void OpConfigure()
{
    ConfigureModule(ReadFieldA<Decimal>(Cpu.C));
    Cpu.PC += 3;
    Cpu.SliceCycles += 54;
}

template <bool Decimal>
void OpCId()
{
    WriteFieldA<Decimal>(Cpu.C, GetModuleId());
    Cpu.PC += 3;
    Cpu.SliceCycles += 54;
}

// PC stays on SHUTDN while the CPU sleeps, so an interrupt requested during
// the sleep returns behind it. The sleep costs nothing.
inline void OpShutdown()
{
    CpuShutdown();
    Cpu.PC += 3;
}

// C+P+1 is a binary add in both modes.
template <bool Decimal>
void OpCPlusPPlus1()
{
    const uint32_t sum = ReadFieldA<Decimal>(Cpu.C) + Cpu.P + 1;
    WriteFieldA<Decimal>(Cpu.C, sum & 0xFFFFF);
    Cpu.Carry = sum > 0xFFFFF ? 1 : 0;
    Cpu.PC += 3;
    Cpu.SliceCycles += 82;
}

inline void OpResetMemory()
{
    ResetMemoryConfig();
    Cpu.PC += 3;
}

inline void OpBusCC()
{
    Cpu.PC += 3;
}

// No service request is ever pending on this machine.
template <bool Decimal>
void OpServiceRequest()
{
    if constexpr (Decimal)
        Cpu.C.Nibbles[0] = 0;
    else
        Cpu.C.PackedLow &= ~0xFu;
    Cpu.PC += 3;
    Cpu.SliceCycles += 29;
}

// HS=0 takes its nibble as a mask of HST bits.
template <unsigned Mask>
void OpClearHst()
{
    Cpu.HST &= static_cast<uint8_t>(~Mask & 0xF);
    Cpu.PC += 3;
    Cpu.SliceCycles += 18;
}

// ST=0 and ST=1 take their nibble as a bit number.
template <bool Set, unsigned Bit>
void OpAssignStatus()
{
    if constexpr (Set)
        Cpu.ST |= static_cast<uint16_t>(1u << Bit);
    else
        Cpu.ST &= static_cast<uint16_t>(~(1u << Bit));
    Cpu.PC += 3;
    Cpu.SliceCycles += 22;
}

template <unsigned N = 0>
constexpr void FillStatusNibbles(DispatchTable& table)
{
    if constexpr (N < 16) {
        FillOpcode(table, 0x8, 0x2, N, &OpClearHst<N>);            // 82n  HS=0 n
        FillOpcode(table, 0x8, 0x4, N, &OpAssignStatus<false, N>); // 84n  ST=0 n
        FillOpcode(table, 0x8, 0x5, N, &OpAssignStatus<true, N>);  // 85n  ST=1 n
        FillStatusNibbles<N + 1>(table);
    }
}

template <bool Decimal>
constexpr void FillControl(DispatchTable& table)
{
    FillOpcode(table, 0x8, 0x0, 0x0, &OpOutCs<Decimal>);            // 800  OUT=CS
    FillOpcode(table, 0x8, 0x0, 0x1, &OpOutC<Decimal>);             // 801  OUT=C
    FillOpcode(table, 0x8, 0x0, 0x2, &OpReadIn<Decimal, Reg::A>);   // 802  A=IN
    FillOpcode(table, 0x8, 0x0, 0x3, &OpReadIn<Decimal, Reg::C>);   // 803  C=IN
    FillOpcode(table, 0x8, 0x0, 0x4, &OpUnconfigure<Decimal>);      // 804  UNCNFG
    FillOpcode(table, 0x8, 0x0, 0x5, &OpConfigure<Decimal>);        // 805  CONFIG
    FillOpcode(table, 0x8, 0x0, 0x6, &OpCId<Decimal>);              // 806  C=ID
    FillOpcode(table, 0x8, 0x0, 0x7, &OpShutdown);                  // 807  SHUTDN
    FillOpcode(table, 0x8, 0x0, 0x9, &OpCPlusPPlus1<Decimal>);      // 809  C+P+1
    FillOpcode(table, 0x8, 0x0, 0xA, &OpResetMemory);               // 80A  RESET
    FillOpcode(table, 0x8, 0x0, 0xB, &OpBusCC);                     // 80B  BUSCC
    FillOpcode(table, 0x8, 0x0, 0xE, &OpServiceRequest<Decimal>);   // 80E  SREQ?
    FillStatusNibbles(table);                                       // 82n HS=0, 84n ST=0, 85n ST=1
}

} // namespace korvane
