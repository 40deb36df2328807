// Tests of HST, ST and P with their GOYES/RTNYES tail: ?HST=0 (83n),
// ?ST=0 (86n), ?ST=1 (87n), ?P# (88n), ?P= (89n). They read no working
// register, so one handler per n serves both tables.
#pragma once

#include <cstdint>
#include <utility>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/decode/opcode_fill.h"
#include "engine/group8-9/test_tail.h"

namespace korvane {

// n is a mask over XM, SB, SR and MP: true when none of them is set, so the
// empty mask always branches.
template <unsigned N>
void OpTestHst()
{
    TestBranchTail((Cpu.HST & N) == 0, 3, 30);
}

// All sixteen bits of ST can be tested, the four that CLRST keeps included.
template <unsigned N, bool Set>
void OpTestStatus()
{
    TestBranchTail(((Cpu.ST >> N) & 1) == (Set ? 1u : 0u), 3, 34);
}

template <unsigned N, bool Equal>
void OpTestPointer()
{
    TestBranchTail((Cpu.P == N) == Equal, 3, 30);
}

template <unsigned... N>
constexpr void FillStatusTestsOf(DispatchTable& table, std::integer_sequence<unsigned, N...>)
{
    (FillOpcode(table, 0x8, 0x3, N, &OpTestHst<N>), ...);            // 83n  ?HST=0 n
    (FillOpcode(table, 0x8, 0x6, N, &OpTestStatus<N, false>), ...);  // 86n  ?ST=0 n
    (FillOpcode(table, 0x8, 0x7, N, &OpTestStatus<N, true>), ...);   // 87n  ?ST=1 n
    (FillOpcode(table, 0x8, 0x8, N, &OpTestPointer<N, false>), ...); // 88n  ?P# n
    (FillOpcode(table, 0x8, 0x9, N, &OpTestPointer<N, true>), ...);  // 89n  ?P= n
}

template <bool Decimal>
constexpr void FillStatusTests(DispatchTable& table)
{
    FillStatusTestsOf(table, std::make_integer_sequence<unsigned, 16>{});
}

} // namespace korvane
