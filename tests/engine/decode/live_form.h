// Working registers as the decode tests model them: sixteen nibbles, nibble 0
// first, in the form that is live in the current mode. The other form is
// filled with a pattern no live value has, so that a handler touching it shows.
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "tests/support/machine.h"

namespace decode_test {

using Nibbles = std::array<uint8_t, 16>;

inline void SetMode(bool decimal)
{
    decimal ? korvane::SwitchToDecimal() : korvane::SwitchToHex();
}

inline uint32_t& PackedWord(korvane::NibbleRegister& r, unsigned k)
{
    return k < 8 ? r.PackedLow : r.PackedHigh;
}

inline Nibbles Live(korvane::NibbleRegister& r)
{
    Nibbles n{};
    for (unsigned k = 0; k < 16; ++k)
        n[k] = korvane::Cpu.DecimalMode ? r.Nibbles[k] : (PackedWord(r, k) >> (4 * (k % 8))) & 15;
    return n;
}

inline void SetLive(korvane::NibbleRegister& r, const Nibbles& n)
{
    const bool decimal = korvane::Cpu.DecimalMode != 0;
    r.PackedLow = decimal ? 0xDEADBEEF : 0;
    r.PackedHigh = decimal ? 0xFEEDFACE : 0;
    for (unsigned k = 0; k < 16; ++k) {
        r.Nibbles[k] = decimal ? n[k] : static_cast<uint8_t>(0x40 + k);
        if (!decimal)
            PackedWord(r, k) |= uint32_t{n[k]} << (4 * (k % 8));
    }
}

inline bool StaleIntact(const korvane::NibbleRegister& r)
{
    if (korvane::Cpu.DecimalMode)
        return r.PackedLow == 0xDEADBEEF && r.PackedHigh == 0xFEEDFACE;
    for (unsigned k = 0; k < 16; ++k) {
        if (r.Nibbles[k] != 0x40 + k)
            return false;
    }
    return true;
}

inline Nibbles FromValue(uint64_t value)
{
    Nibbles n{};
    for (unsigned k = 0; k < 16; ++k)
        n[k] = (value >> (4 * k)) & 15;
    return n;
}

// Runs the program's first instruction alone, counting its cycles; a
// breakpoint tag may be put on one operand nibble for that run.
inline void RunOne(test::Machine& m, const test::Program& p, uint32_t taggedAddress = 0)
{
    m.place(p);
    if (taggedAddress)
        m.Rom[taggedAddress] |= korvane::BreakpointTag;
    korvane::Cpu.PC = p.origin();
    korvane::Cpu.SliceCycles = 0;
    m.step();
    if (taggedAddress)
        m.Rom[taggedAddress] &= 0x0F;
}

} // namespace decode_test
