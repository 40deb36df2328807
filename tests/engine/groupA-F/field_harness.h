// Runs single opcodes of groups A to F straight through the dispatch table
// of either mode, with the registers loaded in the mode's live form.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string_view>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"

namespace fieldtest {

enum class Mode { Hex, Decimal };

inline unsigned HexDigit(char c)
{
    return c <= '9' ? static_cast<unsigned>(c - '0') : static_cast<unsigned>(c - 'A' + 10);
}

// The live form gets the value; the other form gets a pattern of its own,
// so that a handler touching it shows.
inline void Load(korvane::NibbleRegister& r, uint64_t value, Mode mode)
{
    const uint64_t stale = ~value ^ 0x5A5A5A5A5A5A5A5Au;
    const uint64_t packed = mode == Mode::Hex ? value : stale;
    const uint64_t bytes = mode == Mode::Hex ? stale : value;
    r.PackedLow = static_cast<uint32_t>(packed);
    r.PackedHigh = static_cast<uint32_t>(packed >> 32);
    for (unsigned k = 0; k < 16; ++k)
        r.Nibbles[k] = (bytes >> (4 * k)) & 15;
}

inline uint64_t Read(const korvane::NibbleRegister& r, Mode mode)
{
    if (mode == Mode::Hex)
        return uint64_t{r.PackedHigh} << 32 | r.PackedLow;
    uint64_t value = 0;
    for (unsigned k = 16; k-- > 0;)
        value = value << 4 | r.Nibbles[k];
    return value;
}

// The stale form as a 64-bit value, to check that it was left alone.
inline uint64_t ReadStale(const korvane::NibbleRegister& r, Mode mode)
{
    return Read(r, mode == Mode::Hex ? Mode::Decimal : Mode::Hex);
}

// Executes the opcode written as hexadecimal digits ("A10", "C5"; the
// nibble after a two-nibble opcode is 0 unless given) in the mode's table.
inline void Execute(std::string_view digits, Mode mode)
{
    uint8_t code[4] = {};
    for (size_t i = 0; i < digits.size() && i < 4; ++i)
        code[i] = static_cast<uint8_t>(HexDigit(digits[i]));
    const korvane::DispatchTable& table =
        mode == Mode::Hex ? korvane::HexDispatchTable : korvane::DecimalDispatchTable;
    korvane::Cpu.FetchPointer = code;
    table[korvane::DispatchIndex(code[0], code[1], code[2])]();
    korvane::Cpu.FetchPointer = nullptr;
}

// Every test starts from a cleared processor in the mode it names.
class FieldTest : public ::testing::Test {
protected:
    void SetUp() override { std::memset(&korvane::Cpu, 0, sizeof korvane::Cpu); }

    static void Start(Mode mode, unsigned p = 0)
    {
        korvane::Cpu.DecimalMode = mode == Mode::Decimal;
        korvane::SetP(static_cast<uint8_t>(p));
    }
};

} // namespace fieldtest
