// Runs one instruction at StepOrigin in a chosen mode, and checks that it
// left alone the form of A to D that is not live: a member writing the wrong
// form would otherwise go unseen until the next mode switch.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/core/keyboard.h"
#include "tests/support/machine.h"

namespace test {

inline constexpr uint32_t StepOrigin = 0x00100;

inline void StepIn(Machine& m, const std::string& opcode, bool decimal)
{
    using korvane::Cpu;
    m.load(Program(StepOrigin).op(opcode));
    decimal ? korvane::SwitchToDecimal() : korvane::SwitchToHex();
    korvane::NibbleRegister* const all[] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    for (korvane::NibbleRegister* r : all)
        MarkNotLive(*r, decimal);
    Cpu.SliceCycles = 0;
    m.step();
    for (korvane::NibbleRegister* r : all)
        ASSERT_TRUE(NotLiveIntact(*r, decimal)) << opcode << " wrote the form that is not live";
}

// The keyboard outlives machines; every test that uses it starts clean.
inline void ResetKeys()
{
    korvane::ResetKeyboard();
    korvane::OnKeyDown = korvane::KeyPending = korvane::KeyScanArmed = 0;
    KVSetKeyboardHandler(nullptr);
}

} // namespace test
