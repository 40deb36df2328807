// P=n (2n) and LC (3n), with the nibble loaders shared with LA.
#pragma once

#include <array>
#include <bit>
#include <cstring>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/decode/opcode_fill.h"

#pragma GCC visibility push(hidden)
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
        // The N operand bytes, tags masked away, as a 16-byte word turned by
        // P bytes: byte i lands on nibble (P + i) & 15, wrapping at the top.
        // The operand ends within 18 nibbles of the opcode, inside the slack.
        using Word = unsigned __int128;
        constexpr Word taken = N == 16 ? ~Word{0} : (Word{1} << (8 * N)) - 1;
        Word operand;
        std::memcpy(&operand, Cpu.FetchPointer + 2, sizeof operand);
        operand &= taken & (~Word{0} / 0xFF * 0x0F);
        const unsigned turn = 8 * Cpu.P;
        auto rotate = [turn](Word w) { return turn == 0 ? w : w << turn | w >> (128 - turn); };
        Word nibbles;
        std::memcpy(&nibbles, Cpu.C.Nibbles, sizeof nibbles);
        nibbles = (nibbles & ~rotate(taken)) | rotate(operand);
        std::memcpy(Cpu.C.Nibbles, &nibbles, sizeof nibbles);
    } else {
        // Likewise in the packed form: the operand turned by P nibbles.
        constexpr uint64_t taken = N == 16 ? ~uint64_t{0} : (uint64_t{1} << (4 * N)) - 1;
        uint64_t operand = OperandNibbles(2, N < 8 ? N : 8);
        if constexpr (N > 8)
            operand |= uint64_t{OperandNibbles(10, N - 8)} << 32;
        const int turn = static_cast<int>(4 * Cpu.P);
        const uint64_t c = (ReadWord<false>(Cpu.C) & ~std::rotl(taken, turn)) | std::rotl(operand, turn);
        WriteWord<false>(Cpu.C, c);
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
#pragma GCC visibility pop
