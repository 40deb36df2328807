// Memory transfers between A or C and memory at D0 or D1: 14x on fields A
// and B, and 15xy through one stub per x that selects by the fourth nibble
// (the 15xy leaves live in transfers.cpp).
//
// The nibble x names the transfer by its bits: bit 0 D1 (else D0), bit 1 a
// read into the register (else a write to memory), bit 2 register C (else A);
// bit 3 is field B in 14x and the nibble-count forms in 15x.
#pragma once

#include <cstdint>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/memory.h"
#include "engine/decode/leaves.h"
#include "engine/decode/opcode_fill.h"

namespace korvane {

template <unsigned X>
inline uint32_t TransferPointer()
{
    return (X & 1) ? Cpu.D1 : Cpu.D0;
}

template <unsigned X>
inline NibbleRegister& TransferRegister()
{
    if constexpr (X & 4)
        return Cpu.C;
    else
        return Cpu.A;
}

constexpr bool IsReadTransfer(unsigned x)
{
    return (x & 2) != 0;
}

// Register nibble start + i meets address (pointer + i) & 0xFFFFF: the
// field's first nibble meets the pointer itself. Every nibble goes through
// its own page, lowest address first, so a transfer across a page boundary
// or past 0xFFFFF reaches whichever module answers there, and the I/O
// registers and the CRC see the nibbles in address order.
// Forced inline, so that a field's constant start and count reach the word
// stores and loads of the run.
template <bool Decimal>
[[gnu::always_inline]] inline void WriteNibbles(const NibbleRegister& r, uint32_t pointer, unsigned start, unsigned count)
{
    WriteNibbleRun(pointer, count, ReadWord<Decimal>(r) >> (4 * start));
}

// The read functions give 0 to 15, so the nibbles are stored unmasked.
template <bool Decimal>
[[gnu::always_inline]] inline void ReadNibbles(NibbleRegister& r, uint32_t pointer, unsigned start, unsigned count)
{
    const uint64_t loaded = ReadNibbleRun(pointer, count);
    const uint64_t mask = (~uint64_t{0} >> (64 - 4 * count)) << (4 * start);
    WriteWord<Decimal>(r, (ReadWord<Decimal>(r) & ~mask) | (loaded << (4 * start)));
}

// A 20-bit value in one call: only the first nibble's page is looked up, so
// RAM, the ports and the ROM give five consecutive nibbles of their own
// buffer even where the next page belongs to another module.
// The register is read after the memory: then nothing is held across the
// call that a module's read function takes, and the plain path needs no frame.
inline void ReadFieldAOnce(NibbleRegister& r, uint32_t pointer)
{
    const uint32_t value = ReadAddress(pointer & 0xFFFFF);
    r.PackedLow = (r.PackedLow & ~0xFFFFFu) | (value & 0xFFFFF);
}

// The transfer of x & 7 on count nibbles from nibble start. Forced inline
// too: a field's count known when compiling turns the run into a few word
// loads and stores, where a count known only at run time makes loops of them.
template <bool Decimal, unsigned X>
[[gnu::always_inline]] inline void MoveNibbles(unsigned start, unsigned count)
{
    if constexpr (IsReadTransfer(X))
        ReadNibbles<Decimal>(TransferRegister<X>(), TransferPointer<X>(), start, count);
    else
        WriteNibbles<Decimal>(TransferRegister<X>(), TransferPointer<X>(), start, count);
}

// On field A the hexadecimal reads take the one-call path; the decimal reads
// go nibble by nibble.
template <bool Decimal, unsigned X>
inline void MoveFieldA()
{
    if constexpr (IsReadTransfer(X) && !Decimal)
        ReadFieldAOnce(TransferRegister<X>(), TransferPointer<X>());
    else
        MoveNibbles<Decimal, X>(0, 5);
}

// 14x: field A for x 0-7, field B for x 8-F. The short forms cost less than
// the same fields through 15x.
template <bool Decimal, unsigned X>
void OpTransferShort()
{
    constexpr unsigned transfer = X & 7;
    constexpr bool read = IsReadTransfer(transfer);
    if constexpr (X < 8) {
        MoveFieldA<Decimal, transfer>();
        Cpu.SliceCycles += read ? 82 : 78;
    } else {
        MoveNibbles<Decimal, transfer>(0, 2);
        Cpu.SliceCycles += read ? 78 : 66;
    }
    Cpu.PC += 3;
}

template <bool Decimal, unsigned X>
void SubDecode15()
{
    MemoryTransferLeaves[ModeIndex(Decimal)][X][OperandNibble(3)]();
}

template <bool Decimal, unsigned X = 0>
constexpr void FillTransferStubs(DispatchTable& table)
{
    if constexpr (X < 16) {
        FillOpcode(table, 0x1, 0x5, X, &SubDecode15<Decimal, X>); // 15x  DATn=r / r=DATn on a field or count
        FillTransferStubs<Decimal, X + 1>(table);
    }
}

template <bool Decimal>
constexpr void FillTransfers(DispatchTable& table)
{
    FillOpcode(table, 0x1, 0x4, 0x0, &OpTransferShort<Decimal, 0x0>); // 140  DAT0=A A
    FillOpcode(table, 0x1, 0x4, 0x1, &OpTransferShort<Decimal, 0x1>); // 141  DAT1=A A
    FillOpcode(table, 0x1, 0x4, 0x2, &OpTransferShort<Decimal, 0x2>); // 142  A=DAT0 A
    FillOpcode(table, 0x1, 0x4, 0x3, &OpTransferShort<Decimal, 0x3>); // 143  A=DAT1 A
    FillOpcode(table, 0x1, 0x4, 0x4, &OpTransferShort<Decimal, 0x4>); // 144  DAT0=C A
    FillOpcode(table, 0x1, 0x4, 0x5, &OpTransferShort<Decimal, 0x5>); // 145  DAT1=C A
    FillOpcode(table, 0x1, 0x4, 0x6, &OpTransferShort<Decimal, 0x6>); // 146  C=DAT0 A
    FillOpcode(table, 0x1, 0x4, 0x7, &OpTransferShort<Decimal, 0x7>); // 147  C=DAT1 A
    FillOpcode(table, 0x1, 0x4, 0x8, &OpTransferShort<Decimal, 0x8>); // 148  DAT0=A B
    FillOpcode(table, 0x1, 0x4, 0x9, &OpTransferShort<Decimal, 0x9>); // 149  DAT1=A B
    FillOpcode(table, 0x1, 0x4, 0xA, &OpTransferShort<Decimal, 0xA>); // 14A  A=DAT0 B
    FillOpcode(table, 0x1, 0x4, 0xB, &OpTransferShort<Decimal, 0xB>); // 14B  A=DAT1 B
    FillOpcode(table, 0x1, 0x4, 0xC, &OpTransferShort<Decimal, 0xC>); // 14C  DAT0=C B
    FillOpcode(table, 0x1, 0x4, 0xD, &OpTransferShort<Decimal, 0xD>); // 14D  DAT1=C B
    FillOpcode(table, 0x1, 0x4, 0xE, &OpTransferShort<Decimal, 0xE>); // 14E  C=DAT0 B
    FillOpcode(table, 0x1, 0x4, 0xF, &OpTransferShort<Decimal, 0xF>); // 14F  C=DAT1 B
    FillTransferStubs<Decimal>(table);
}

} // namespace korvane
