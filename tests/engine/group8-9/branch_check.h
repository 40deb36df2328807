// Runs one test instruction with a GOYES offset of 0x10 and checks that
// Carry, PC and cost agree with the expected outcome.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/core/cpu_state.h"
#include "tests/support/machine.h"

namespace test {

inline constexpr uint32_t TestOrigin = 0x01000;

// opcode: the opcode nibbles; the offset field follows them.
inline void PlaceTest(Machine& m, const std::string& opcode)
{
    Program p(TestOrigin);
    p.op(opcode).op("01");
    m.load(p);
}

// Steps the placed test; returns a description of what differs, empty when
// the outcome, the target and the cost are all as expected.
inline std::string StepAndCompare(Machine& m, unsigned opcodeLength, bool expected, uint32_t baseCost)
{
    korvane::Cpu.PC = TestOrigin;
    korvane::Cpu.Carry = expected ? 0 : 1;
    korvane::Cpu.SliceCycles = 0;
    m.step();
    const uint32_t pc = TestOrigin + opcodeLength + (expected ? 0x10 : 2);
    const uint32_t cost = baseCost + (expected ? 32 : 0);
    if (korvane::Cpu.Carry != (expected ? 1 : 0) || korvane::Cpu.PC != pc || korvane::Cpu.SliceCycles != cost) {
        return "expected " + std::string(expected ? "true" : "false") + " cost " + std::to_string(cost) +
               ", got Carry " + std::to_string(korvane::Cpu.Carry) + " PC " + std::to_string(korvane::Cpu.PC) +
               " cost " + std::to_string(korvane::Cpu.SliceCycles);
    }
    return {};
}

} // namespace test
