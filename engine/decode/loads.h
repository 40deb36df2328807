// P=n (2n) and LC (3n), with the nibble loaders shared with LA.
#pragma once

#include <array>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"

namespace korvane {

// Writes N nibbles into a packed register from nibble P on, wrapping from
// nibble 15 to 0; the entry for (P, N) is at (P << 4) | (N - 1). The nibble
// bytes are read as their low four bits.
using LoadNibblesProc = void (*)(NibbleRegister* packed, const uint8_t* nibbles);
extern const std::array<LoadNibblesProc, 256> LoadNibblesTable;

// 2n  P=n
template <unsigned N>
void OpPSet()
{
    SetP(N);
    Cpu.PC += 2;
    Cpu.SliceCycles += 12;
}

// 3n  LC with N = n + 1 nibbles, into C from nibble P on, wrapping from
// nibble 15 to 0.
template <bool Decimal, unsigned N>
void OpLc()
{
    if constexpr (Decimal) {
        const unsigned p = Cpu.P;
        for (unsigned i = 0; i < N; ++i)
            Cpu.C.Nibbles[(p + i) & 15] = static_cast<uint8_t>(OperandNibble(2 + i));
    } else {
        LoadNibblesTable[(Cpu.P & 15u) << 4 | (N - 1)](&Cpu.C, Cpu.FetchPointer + 2);
    }
    Cpu.PC += 2 + N;
    Cpu.SliceCycles += 12 + 4 * N;
}

template <bool Decimal, unsigned N = 0>
constexpr void FillLoads(DispatchTable& table)
{
    if constexpr (N < 16) {
        FillOpcode(table, 0x2, N, &OpPSet<N>);            // 2n  P= n
        FillOpcode(table, 0x3, N, &OpLc<Decimal, N + 1>); // 3n  LC with n+1 nibbles
        FillLoads<Decimal, N + 1>(table);
    }
}

} // namespace korvane
