// Helpers for the tests of this directory: working registers loaded in the
// live form of a mode with the other form poisoned, a plain nibble model of
// the fields, and a runner for test instructions.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
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

// Differs from the value in every nibble, so a wrong form read or written shows.
inline uint64_t Poison(uint64_t value)
{
    return ~value ^ 0x1234567890ABCDEFull;
}

inline void LoadLive(korvane::NibbleRegister& r, uint64_t value, bool decimal)
{
    const uint64_t packed = decimal ? Poison(value) : value;
    r.PackedLow = static_cast<uint32_t>(packed);
    r.PackedHigh = static_cast<uint32_t>(packed >> 32);
    for (unsigned k = 0; k < 16; ++k)
        r.Nibbles[k] = static_cast<uint8_t>(NibbleOf(decimal ? value : Poison(value), k));
}

inline uint64_t LiveOf(const korvane::NibbleRegister& r, bool decimal)
{
    uint64_t unpacked = 0;
    for (unsigned k = 16; k-- > 0;)
        unpacked = unpacked << 4 | r.Nibbles[k];
    return decimal ? unpacked : uint64_t{r.PackedHigh} << 32 | r.PackedLow;
}

// The form that is not live still holds the poison, every byte one nibble.
inline bool StaleUntouched(const korvane::NibbleRegister& r, uint64_t value, bool decimal)
{
    for (uint8_t byte : r.Nibbles) {
        if (byte > 15)
            return false;
    }
    return LiveOf(r, !decimal) == Poison(value);
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

inline uint64_t FieldValue(uint64_t reg, FieldRange f)
{
    uint64_t value = 0;
    for (unsigned k = f.High + 1; k-- > f.Low;)
        value = value << 4 | NibbleOf(reg, k);
    return value;
}

inline uint64_t NextRandom(uint64_t& state)
{
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state ^ state >> 29;
}

// Places opcode and a GOYES offset of 0x10 at 0x01000, steps it and checks
// Carry, the target and the cost (the base, plus 32 when taken).
inline testing::AssertionResult StepTest(Machine& m, const std::string& opcode, bool expected, uint32_t base)
{
    Program p(0x01000);
    p.op(opcode).op("01");
    m.load(p);
    korvane::Cpu.Carry = !expected;
    korvane::Cpu.SliceCycles = 0;
    m.step();
    const uint32_t pc = 0x01000 + static_cast<uint32_t>(opcode.size()) + (expected ? 0x10 : 2);
    if (korvane::Cpu.Carry == expected && korvane::Cpu.PC == pc && korvane::Cpu.SliceCycles == base + 32 * expected)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << opcode << " expected " << expected << " at cost " << base << ", got Carry "
                                       << int{korvane::Cpu.Carry} << " PC " << std::hex << korvane::Cpu.PC << std::dec
                                       << " cost " << korvane::Cpu.SliceCycles;
}

using Registers = std::array<uint64_t, 4>; // A, B, C, D

// Registers that share most nibbles, so that the deciding nibble moves
// through every field, some of them zero, and values at the word seam.
inline std::vector<Registers> RegisterSamples()
{
    std::vector<Registers> samples = {{0x0000000100000000, 0x00000000FFFFFFFF, 0x80000000, 0x7FFFFFFF},
                                      {0x8000000000000000, 0x7FFFFFFFFFFFFFFF, ~0ull, 0}};
    static const uint8_t alphabet[] = {0, 0, 0, 1, 7, 8, 9, 0xA, 0xF, 0xF};
    uint64_t state = 0xC0FFEE;
    for (int i = 0; i < 40; ++i) {
        uint64_t base = 0;
        for (unsigned k = 0; k < 16; ++k)
            base |= uint64_t{alphabet[NextRandom(state) % sizeof alphabet]} << (4 * k);
        Registers regs;
        for (uint64_t& reg : regs) {
            reg = base;
            for (unsigned changes = NextRandom(state) % 3; changes > 0; --changes)
                reg ^= (1 + NextRandom(state) % 15) << (4 * (NextRandom(state) % 16));
            if (NextRandom(state) % 5 == 0)
                reg = 0;
        }
        samples.push_back(regs);
    }
    return samples;
}

// Every opcode of a register test family against the model: field codes
// 0-7 at 9(a0 + code)b, field A at 8(fieldA)b, both modes, P on both
// sides of the word seam.
using Expectation = bool (*)(unsigned b, const Registers& regs, FieldRange f);

inline void SweepRegisterTests(unsigned a0, unsigned fieldA, Expectation expect)
{
    const std::vector<Registers> samples = RegisterSamples();
    Machine m;
    for (bool decimal : {false, true}) {
        EnterMode(decimal);
        for (unsigned code = 0; code <= 8; ++code) {
            for (unsigned b = 0; b < 16; ++b) {
                char opcode[4];
                std::snprintf(opcode, sizeof opcode, "%X%X%X", code == 8 ? 8 : 9, code == 8 ? fieldA : a0 + code, b);
                for (unsigned p : {0u, 1u, 2u, 7u, 8u, 14u, 15u}) {
                    const FieldRange f = RangeOfField(code, p);
                    for (const Registers& r : samples) {
                        korvane::NibbleRegister* const regs[] = {&korvane::Cpu.A, &korvane::Cpu.B, &korvane::Cpu.C, &korvane::Cpu.D};
                        for (unsigned i = 0; i < 4; ++i)
                            LoadLive(*regs[i], r[i], decimal);
                        korvane::SetP(static_cast<uint8_t>(p));
                        ASSERT_TRUE(StepTest(m, opcode, expect(b, r, f), 34 + 4 * (f.High - f.Low + 1)))
                            << (decimal ? " dec" : " hex") << " P=" << p << std::hex << " A=" << r[0]
                            << " B=" << r[1] << " C=" << r[2] << " D=" << r[3];
                    }
                }
            }
        }
    }
}

} // namespace test
