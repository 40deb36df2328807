// Working registers as the decode tests model them: sixteen nibbles, nibble 0
// first, read from and written to the form that is live in the current mode.
// The other form is filled with a pattern no live value has, so that a
// handler touching it shows.
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "engine/core/cpu_state.h"
#include "tests/support/machine.h"

namespace decode_test {

using Nibbles = std::array<uint8_t, 16>;

inline Nibbles Live(const korvane::NibbleRegister& r)
{
    Nibbles n{};
    for (unsigned k = 0; k < 16; ++k) {
        if (korvane::Cpu.DecimalMode)
            n[k] = r.Nibbles[k];
        else
            n[k] = ((k < 8 ? r.PackedLow : r.PackedHigh) >> (4 * (k % 8))) & 15;
    }
    return n;
}

inline void SetLive(korvane::NibbleRegister& r, const Nibbles& n)
{
    const bool decimal = korvane::Cpu.DecimalMode != 0;
    if (decimal) {
        r.PackedLow = 0xDEADBEEF;
        r.PackedHigh = 0xFEEDFACE;
    } else {
        r.PackedLow = r.PackedHigh = 0;
    }
    for (unsigned k = 0; k < 16; ++k) {
        if (decimal) {
            r.Nibbles[k] = n[k];
        } else {
            r.Nibbles[k] = static_cast<uint8_t>(0x40 + k);
            (k < 8 ? r.PackedLow : r.PackedHigh) |= uint32_t{n[k]} << (4 * (k % 8));
        }
    }
}

// The form that is not live, byte for byte.
inline std::array<uint8_t, 16> Stale(const korvane::NibbleRegister& r)
{
    std::array<uint8_t, 16> bytes{};
    for (unsigned k = 0; k < 16; ++k) {
        if (!korvane::Cpu.DecimalMode)
            bytes[k] = r.Nibbles[k];
        else if (k < 8)
            bytes[k] = ((k < 4 ? r.PackedLow : r.PackedHigh) >> (8 * (k % 4))) & 0xFF;
    }
    return bytes;
}

inline Nibbles FromValue(uint64_t value)
{
    Nibbles n{};
    for (unsigned k = 0; k < 16; ++k)
        n[k] = (value >> (4 * k)) & 15;
    return n;
}

inline uint64_t ToValue(const Nibbles& n)
{
    uint64_t value = 0;
    for (unsigned k = 16; k-- > 0;)
        value = (value << 4) | n[k];
    return value;
}

inline Nibbles RandomNibbles(std::mt19937_64& rng)
{
    return FromValue(rng());
}

// Puts the program at its origin and runs its first instruction, counting
// the cycles of that instruction alone.
inline void RunOne(test::Machine& m, const test::Program& p)
{
    m.load(p);
    korvane::Cpu.SliceCycles = 0;
    m.step();
}

} // namespace decode_test
