// P and PC transfers and LA: C=P n (80Cn), P=C n (80Dn), CPEX n (80Fn),
// PC=A, PC=C, A=PC, C=PC, APCEX, CPCEX (81B2-81B7), PC=(A), PC=(C) (808C,
// 808E) and LA (8082n). All of them are leaves of the group 8 stubs.
#pragma once

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"
#include "engine/core/hooks.h"
#include "engine/core/memory.h"
#include "engine/decode/leaves.h"
#include "engine/decode/loads.h"

namespace korvane {

template <bool Decimal, unsigned N>
uint8_t NibbleOfC()
{
    if constexpr (Decimal)
        return Cpu.C.Nibbles[N];
    else if constexpr (N < 8)
        return (Cpu.C.PackedLow >> (4 * N)) & 15;
    else
        return (Cpu.C.PackedHigh >> (4 * (N - 8))) & 15;
}

template <bool Decimal, unsigned N>
void SetNibbleOfC(uint8_t value)
{
    if constexpr (Decimal)
        Cpu.C.Nibbles[N] = value;
    else if constexpr (N < 8)
        Cpu.C.PackedLow = (Cpu.C.PackedLow & ~NibbleMasks[N]) | uint32_t{value} << (4 * N);
    else
        Cpu.C.PackedHigh = (Cpu.C.PackedHigh & ~NibbleMasks[N - 8]) | uint32_t{value} << (4 * (N - 8));
}

template <bool Decimal, unsigned N>
void OpCFromP()
{
    SetNibbleOfC<Decimal, N>(Cpu.P);
    Cpu.PC += 4;
    Cpu.SliceCycles += 32;
}

template <bool Decimal, unsigned N>
void OpPFromC()
{
    SetP(NibbleOfC<Decimal, N>());
    Cpu.PC += 4;
    Cpu.SliceCycles += 32;
}

template <bool Decimal, unsigned N>
void OpCPExchange()
{
    const uint8_t nibble = NibbleOfC<Decimal, N>();
    SetNibbleOfC<Decimal, N>(Cpu.P);
    SetP(nibble);
    Cpu.PC += 4;
    Cpu.SliceCycles += 32;
}

template <bool Decimal, Reg R>
void OpPcFromRegister()
{
    Cpu.PC = ReadFieldA<Decimal>(Working<R>());
    Cpu.SliceCycles += 76;
}

// The register gets the next instruction's address cut to 20 bits; PC itself
// keeps the plain sum, like every sequential advance.
template <bool Decimal, Reg R>
void OpRegisterFromPc()
{
    Cpu.PC += 4;
    WriteFieldA<Decimal>(Working<R>(), Cpu.PC & 0xFFFFF);
    Cpu.SliceCycles += 44;
}

template <bool Decimal, Reg R>
void OpPcExchange()
{
    NibbleRegister& r = Working<R>();
    const uint32_t target = ReadFieldA<Decimal>(r);
    WriteFieldA<Decimal>(r, (Cpu.PC + 4) & 0xFFFFF);
    Cpu.PC = target;
    Cpu.SliceCycles += 76;
}

// The stored address is read the way code is fetched, not as data: no
// checksum update and no I/O register side effect. Five nibbles starting
// near a page's end continue in that page's host memory and may run up to
// four bytes past it; every page buffer is lent with slack bytes behind it
// (the blank page too), so the read stays inside readable memory.
inline uint32_t ReadStoredAddress(uint32_t address)
{
    // A fetch page has the buffer slack behind it: the word stays inside.
    uint64_t bytes;
    std::memcpy(&bytes, Memory.Pages.Fetch[PageOf(address)] + (address & (PageSize - 1)), sizeof bytes);
    return GatherNibbleWord(bytes, 5);
}

// Only PC=(A) tells the debugging hook, and before the read; PC=(C) is silent.
template <bool Decimal, Reg R, bool NotifyHook>
void OpJumpThroughMemory()
{
    if constexpr (NotifyHook)
        NotifyDebuggingHack(HackJumpThroughMemory);
    Cpu.PC = ReadStoredAddress(ReadFieldA<Decimal>(Working<R>()));
    Cpu.SliceCycles += 104;
}

// LA with N + 1 nibbles from nibble P on, wrapping from 15 to 0; the
// constant follows the five opcode nibbles.
template <bool Decimal, unsigned N>
void OpLoadAddress()
{
    if constexpr (Decimal) {
        unsigned k = Cpu.P;
        for (unsigned i = 0; i <= N; ++i) {
            Cpu.A.Nibbles[k] = static_cast<uint8_t>(OperandNibble(5 + i));
            k = (k + 1) & 15;
        }
    } else {
        LoadNibblesTable[(Cpu.P << 4) | N](&Cpu.A, Cpu.FetchPointer + 5);
    }
    Cpu.PC += 6 + N;
    Cpu.SliceCycles += 24 + 4 * N;
}

// 8082n: the count n is nibble 4.
template <bool Decimal>
void LoadAddressLevel()
{
    static constexpr LeafRow leaves =
        LeafRowOf([](auto n) -> InstructionHandler { return &OpLoadAddress<Decimal, decltype(n)::value>; });
    leaves[OperandNibble(4)]();
}

// 80Cn, 80Dn, 80Fn by n.
template <bool Decimal>
consteval LeafRow CFromPRow()
{
    return LeafRowOf([](auto n) -> InstructionHandler { return &OpCFromP<Decimal, decltype(n)::value>; });
}

template <bool Decimal>
consteval LeafRow PFromCRow()
{
    return LeafRowOf([](auto n) -> InstructionHandler { return &OpPFromC<Decimal, decltype(n)::value>; });
}

template <bool Decimal>
consteval LeafRow CPExchangeRow()
{
    return LeafRowOf([](auto n) -> InstructionHandler { return &OpCPExchange<Decimal, decltype(n)::value>; });
}

} // namespace korvane
