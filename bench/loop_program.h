// The benchmark's Saturn program and the machine it runs on: RAM at
// RamBase, the I/O window at IoBase, the code in the ROM at CodeOrigin. A
// loop with a mix of field arithmetic in both modes, memory transfers
// through D0 and D1, tests with GOYES, GOSUB/RTN, LC and P=n counts its
// iterations in RAM and copies TIMER2 there on every pass.
#pragma once

#include <cstdint>

#include "tests/support/program.h"

namespace bench {

constexpr uint32_t IoBase = 0x00100;
constexpr uint32_t RamBase = 0x80000;
constexpr uint32_t RamNibbles = 0x40000;
constexpr uint32_t RamSizeMask = 0xC0000; // CONFIG's size value for 256K nibbles
constexpr uint32_t CodeOrigin = 0x10000;

// RAM cells the program and the benchmark share.
constexpr uint32_t IterationCell = RamBase + 0x00;  // 16 nibbles, +1 per iteration
constexpr uint32_t TimerCopyCell = RamBase + 0x10;  // TIMER2's 8 nibbles
constexpr uint32_t RoutineCountCell = RamBase + 0x20; // iterations of the routine, less one
constexpr uint32_t ScratchCell = RamBase + 0x40;

constexpr uint32_t Timer2ControlRegister = IoBase + 0x2F;
constexpr uint32_t Timer2Register = IoBase + 0x38;

// Labels: "init" starts TIMER2; "run" loops for ever; "routine" runs the
// body as often as RoutineCountCell says, plus one.
test::Program BuildProgram();

} // namespace bench
