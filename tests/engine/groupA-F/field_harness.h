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

// The other form gets a pattern of its own, so that a handler touching it shows.
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
    uint64_t value = uint64_t{r.PackedHigh} << 32 | r.PackedLow;
    if (mode == Mode::Decimal) {
        value = 0;
        for (unsigned k = 16; k-- > 0;)
            value = value << 4 | r.Nibbles[k];
    }
    return value;
}

// Executes the opcode written as hexadecimal digits ("A10", or "C5" and an
// optional following nibble) through the mode's table.
inline void Execute(std::string_view digits, Mode mode)
{
    uint8_t code[3] = {};
    for (size_t i = 0; i < digits.size() && i < 3; ++i)
        code[i] = static_cast<uint8_t>(digits[i] <= '9' ? digits[i] - '0' : digits[i] - 'A' + 10);
    const auto& table = mode == Mode::Hex ? korvane::HexDispatchTable : korvane::DecimalDispatchTable;
    korvane::Cpu.FetchPointer = code;
    table[korvane::DispatchIndex(code[0], code[1], code[2])]();
    korvane::Cpu.FetchPointer = nullptr;
}

// A case worked out by hand: A and the other operand (loaded into B and C)
// before, the destination after, and Carry (-1: left as it was, which is
// 1) and SB afterwards; HST starts at 0.
struct Case {
    const char* Opcode;
    unsigned P;
    uint64_t A, Other;
    char Destination;
    uint64_t Result;
    int Carry;
    bool Sb;
};

inline void RunCase(const Case& c, Mode mode)
{
    std::memset(&korvane::Cpu, 0, sizeof korvane::Cpu);
    korvane::SetP(static_cast<uint8_t>(c.P));
    korvane::Cpu.Carry = c.Carry == 0 ? 1 : c.Carry == 1 ? 0 : 1;
    Load(korvane::Cpu.A, c.A, mode);
    Load(korvane::Cpu.B, c.Other, mode);
    Load(korvane::Cpu.C, c.Other, mode);
    Execute(c.Opcode, mode);
    const korvane::NibbleRegister& result = c.Destination == 'A' ? korvane::Cpu.A : korvane::Cpu.C;
    EXPECT_EQ(Read(result, mode), c.Result) << c.Opcode << " P=" << c.P << std::hex << " A=" << c.A;
    EXPECT_EQ(korvane::Cpu.Carry, c.Carry < 0 ? 1 : c.Carry) << c.Opcode;
    EXPECT_EQ(korvane::Cpu.HST, c.Sb ? korvane::HstSB : 0) << c.Opcode;
}

} // namespace fieldtest
