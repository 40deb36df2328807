// Helpers shared by the tests of this directory: working registers loaded
// in the live form of a mode with the other form poisoned, and a plain
// nibble model of the fields to compare against.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/cpu_state.h"

namespace test {

inline void EnterMode(bool decimal)
{
    if (decimal)
        korvane::SwitchToDecimal();
    else
        korvane::SwitchToHex();
}

inline unsigned NibbleOf(uint64_t value, unsigned k)
{
    return static_cast<unsigned>(value >> (4 * k)) & 15;
}

// The stale form differs from the live one in every nibble, so a handler
// that reads or writes the wrong form shows up.
inline uint64_t Poison(uint64_t value)
{
    return ~value ^ 0x1234567890ABCDEFull;
}

inline void LoadLive(korvane::NibbleRegister& r, uint64_t value, bool decimal)
{
    const uint64_t packed = decimal ? Poison(value) : value;
    const uint64_t unpacked = decimal ? value : Poison(value);
    r.PackedLow = static_cast<uint32_t>(packed);
    r.PackedHigh = static_cast<uint32_t>(packed >> 32);
    for (unsigned k = 0; k < 16; ++k)
        r.Nibbles[k] = static_cast<uint8_t>(NibbleOf(unpacked, k));
}

inline uint64_t PackedOf(const korvane::NibbleRegister& r)
{
    return uint64_t{r.PackedHigh} << 32 | r.PackedLow;
}

inline uint64_t UnpackedOf(const korvane::NibbleRegister& r)
{
    uint64_t value = 0;
    for (unsigned k = 16; k-- > 0;)
        value = value << 4 | r.Nibbles[k];
    return value;
}

inline uint64_t LiveOf(const korvane::NibbleRegister& r, bool decimal)
{
    return decimal ? UnpackedOf(r) : PackedOf(r);
}

// True when the form that is not live still holds the poison of value and
// every byte of Nibbles is a single nibble.
inline bool StaleUntouched(const korvane::NibbleRegister& r, uint64_t value, bool decimal)
{
    for (unsigned k = 0; k < 16; ++k) {
        if (r.Nibbles[k] > 15)
            return false;
    }
    return decimal ? PackedOf(r) == Poison(value) : UnpackedOf(r) == Poison(value);
}

// Nibble ranges of the field codes 0-7 and 8 (field A), written out.
struct FieldRange {
    unsigned Low;
    unsigned High;
    const char* Name;
};

inline FieldRange RangeOfField(unsigned code, unsigned p)
{
    switch (code) {
    case 0: return {p, p, "P"};
    case 1: return {0, p, "WP"};
    case 2: return {2, 2, "XS"};
    case 3: return {0, 2, "X"};
    case 4: return {15, 15, "S"};
    case 5: return {3, 14, "M"};
    case 6: return {0, 1, "B"};
    case 7: return {0, 15, "W"};
    default: return {0, 4, "A"};
    }
}

// The field's nibbles read as one unsigned number.
inline uint64_t FieldValue(uint64_t reg, FieldRange f)
{
    uint64_t value = 0;
    for (unsigned k = f.High + 1; k-- > f.Low;)
        value = value << 4 | NibbleOf(reg, k);
    return value;
}

inline std::string Hex(uint64_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s(16, '0');
    for (unsigned k = 0; k < 16; ++k)
        s[15 - k] = digits[NibbleOf(value, k)];
    return s;
}

// A small deterministic generator, so that failures repeat.
struct Lcg {
    uint64_t State;
    uint64_t next()
    {
        State = State * 6364136223846793005ull + 1442695040888963407ull;
        return State;
    }
    unsigned below(unsigned n) { return static_cast<unsigned>((next() >> 33) % n); }
};

} // namespace test
