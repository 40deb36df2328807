// Runs one instruction in a chosen mode and checks that it left the form of
// A to D that is not live alone: a member that wrote the wrong form would
// otherwise go unseen until the next mode switch.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "engine/core/cpu_state.h"
#include "engine/core/keyboard.h"
#include "tests/support/machine.h"

namespace test {

inline constexpr uint32_t StepOrigin = 0x00100;
inline constexpr uint8_t StaleByte = 0xEE;
inline constexpr uint32_t StaleWord = 0xDEADBEEF;

// Places opcode (hexadecimal digits) at StepOrigin and steps it once, with
// the registers' values as SetValue left them and the mode switched first.
inline void StepIn(Machine& m, const std::string& opcode, bool decimal)
{
    Program p(StepOrigin);
    p.op(opcode);
    m.load(p);
    if (decimal)
        korvane::SwitchToDecimal();
    else
        korvane::SwitchToHex();
    for (korvane::NibbleRegister* r : {&korvane::Cpu.A, &korvane::Cpu.B, &korvane::Cpu.C, &korvane::Cpu.D}) {
        if (decimal) {
            r->PackedLow = StaleWord;
            r->PackedHigh = StaleWord;
        } else {
            std::memset(r->Nibbles, StaleByte, sizeof r->Nibbles);
        }
    }
    korvane::Cpu.SliceCycles = 0;
    m.step();
    for (korvane::NibbleRegister* r : {&korvane::Cpu.A, &korvane::Cpu.B, &korvane::Cpu.C, &korvane::Cpu.D}) {
        if (decimal) {
            EXPECT_EQ(r->PackedLow, StaleWord) << opcode << " wrote the packed form in decimal mode";
            EXPECT_EQ(r->PackedHigh, StaleWord) << opcode << " wrote the packed form in decimal mode";
        } else {
            for (uint8_t byte : r->Nibbles)
                ASSERT_EQ(byte, StaleByte) << opcode << " wrote the nibble bytes in hexadecimal mode";
        }
    }
}

// A 64-bit value as sixteen nibbles, and back: the model the tests compute on.
using NibbleArray = std::array<uint8_t, 16>;

inline NibbleArray ToNibbles(uint64_t value)
{
    NibbleArray n{};
    for (unsigned k = 0; k < 16; ++k)
        n[k] = (value >> (4 * k)) & 15;
    return n;
}

inline uint64_t FromNibbles(const NibbleArray& n)
{
    uint64_t value = 0;
    for (unsigned k = 16; k-- > 0;)
        value = (value << 4) | n[k];
    return value;
}

// The keyboard keeps its state across machines; every test starts clean.
inline void ResetKeys()
{
    korvane::ResetKeyboard();
    korvane::OnKeyDown.store(0);
    korvane::KeyPending.store(0);
    korvane::KeyScanArmed.store(0);
    KVSetKeyboardHandler(nullptr);
}

} // namespace test
