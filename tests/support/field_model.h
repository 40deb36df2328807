// What the tests of the field instructions (groups 8, 9 and A to F) share:
// working registers loaded in the live form of a mode with the other form
// marked (test::MarkNotLive), fields as plain nibble ranges, and biased
// register data.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/core/cpu_state.h"
#include "tests/support/machine.h"

namespace test {

inline void EnterMode(bool decimal)
{
    decimal ? korvane::SwitchToDecimal() : korvane::SwitchToHex();
}

inline unsigned NibbleOf(uint64_t value, unsigned k)
{
    return static_cast<unsigned>(value >> (4 * k)) & 15;
}

inline void LoadLive(korvane::NibbleRegister& r, uint64_t value, bool decimal)
{
    MarkNotLive(r, decimal);
    if (decimal) {
        for (unsigned k = 0; k < 16; ++k)
            r.Nibbles[k] = static_cast<uint8_t>(NibbleOf(value, k));
    } else {
        r.PackedLow = static_cast<uint32_t>(value);
        r.PackedHigh = static_cast<uint32_t>(value >> 32);
    }
}

inline uint64_t LiveOf(const korvane::NibbleRegister& r, bool decimal)
{
    uint64_t unpacked = 0;
    for (unsigned k = 16; k-- > 0;)
        unpacked = unpacked << 4 | r.Nibbles[k];
    return decimal ? unpacked : uint64_t{r.PackedHigh} << 32 | r.PackedLow;
}

// The other form still holds its mark, and in decimal mode every live byte
// holds one nibble.
inline bool StaleUntouched(const korvane::NibbleRegister& r, bool decimal)
{
    return NotLiveIntact(r, decimal) &&
           (!decimal || std::ranges::all_of(r.Nibbles, [](uint8_t byte) { return byte < 16; }));
}

struct FieldRange {
    unsigned Low, High;
};

// Field codes 0-7 (P WP XS X S M B W) and 8 for field A, written out.
inline FieldRange RangeOfField(unsigned code, unsigned p)
{
    const FieldRange fixed[] = {{p, p}, {0, p}, {2, 2}, {0, 2}, {15, 15}, {3, 14}, {0, 1}, {0, 15}, {0, 4}};
    return fixed[code];
}

using Registers = std::array<uint64_t, 4>; // A, B, C, D

// Biased towards what breaks field instructions: the word seam (A = 16^8
// against B = 0xFFFFFFFF decides differently on WP with P = 7 and P = 8),
// runs of 0, 9 and F that carry or borrow through every field, and
// registers that share all but a nibble or two, so that the deciding nibble
// falls in every field; some registers are zero.
inline std::vector<Registers> BiasedRegisterSets()
{
    std::vector<Registers> sets = {{0x0000000100000000, 0x00000000FFFFFFFF, 0x80000000, 0x7FFFFFFF},
                                   {0x8000000000000000, 0x7FFFFFFFFFFFFFFF, ~0ull, 0}};
    const uint64_t runs[] = {0, 0x9999999999999999, ~0ull};
    const uint8_t mixed[] = {0, 0, 1, 7, 8, 9, 0xA, 0xF, 0xF};
    std::mt19937_64 random(0xC0FFEE);
    for (unsigned i = 0; i < 64; ++i) {
        uint64_t base = runs[i % 3];
        for (unsigned k = 0; k < 16 && i % 2; ++k)
            base = base << 4 | mixed[random() % sizeof mixed];
        Registers regs;
        for (uint64_t& reg : regs) {
            reg = random() % 6 ? base : 0;
            for (unsigned changes = random() % 3; changes > 0; --changes)
                reg ^= (1 + random() % 15) << (4 * (random() % 16));
        }
        sets.push_back(regs);
    }
    return sets;
}

} // namespace test
