// The processor as the instruction tests model it: A to D as sixteen nibbles,
// nibble 0 first, in the form that is live in the current mode, and a copy of
// every other field. A test draws a random state, works out with plain
// integer arithmetic what one instruction leaves, runs it and compares the
// whole processor. The form of A to D that is not live holds its mark
// (test::MarkNotLive), so a handler that touches it shows.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "tests/support/machine.h"

namespace model {

using korvane::Cpu;
using Nibbles = std::array<uint8_t, 16>;
using Hook = std::array<uint32_t, 4>; // code, PC, Carry and RstkIndex as the debugging hook saw them

inline constexpr uint32_t Origin = 0x00100;
inline const std::vector<unsigned> SomeP = {0, 7, 8, 15}; // both ends and both sides of the word seam
inline const std::vector<unsigned> EveryP = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
// The register pairs of a two-register opcode by its selector AND 3: (A,B) (B,C) (C,A) (D,C).
inline constexpr unsigned Pairs[4][2] = {{0, 1}, {1, 2}, {2, 0}, {3, 2}};
inline std::vector<Hook> HooksSeen;

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
        value = value << 4 | n[k];
    return value;
}

inline korvane::NibbleRegister& Reg(korvane::CpuState& s, unsigned r)
{
    return r == 0 ? s.A : r == 1 ? s.B : r == 2 ? s.C : s.D;
}

inline void WriteLive(korvane::NibbleRegister& r, const Nibbles& n, bool decimal)
{
    if (decimal)
        std::memcpy(r.Nibbles, n.data(), 16);
    else
        korvane::WriteWord<false>(r, ToValue(n));
}

// Field code 0-F (8-F: A) at pointer p as its lowest and highest nibble.
inline std::pair<unsigned, unsigned> FieldRange(unsigned code, unsigned p)
{
    const unsigned Fixed[8][2] = {{p, p}, {0, p}, {2, 2}, {0, 2}, {15, 15}, {3, 14}, {0, 1}, {0, 15}};
    return code >= 8 ? std::pair{0u, 4u} : std::pair{Fixed[code][0], Fixed[code][1]};
}

struct State {
    korvane::CpuState Cpu; // A-D are compared in the form that is not live only
    Nibbles R[4];          // A-D in the live form
    std::vector<Hook> Hooks;

    void advance(uint32_t length, uint32_t cost) { Cpu.PC += length, Cpu.SliceCycles += cost; }
    void push(uint32_t pc, uint32_t value)
    {
        Hooks.push_back({1, pc, Cpu.Carry, Cpu.RstkIndex});
        Cpu.RSTK[Cpu.RstkIndex] = value;
        Cpu.RstkIndex = (Cpu.RstkIndex + 1) & 7;
    }
    uint32_t pop(uint32_t pc)
    {
        Hooks.push_back({2, pc, Cpu.Carry, Cpu.RstkIndex});
        Cpu.RstkIndex = (Cpu.RstkIndex - 1) & 7;
        return std::exchange(Cpu.RSTK[Cpu.RstkIndex], 0);
    }
    // An operand: into the model and the processor alike.
    void set(unsigned r, uint64_t value) { WriteLive(Reg(korvane::Cpu, r), R[r] = FromValue(value), Cpu.DecimalMode); }
};

// Either four unrelated registers with long runs of 0 and F, now and then
// all 0 or all F, so that carries run far and round; or four that share all
// but a nibble or two of a base of 0, 9 or F runs or digits around them, so
// that the nibble that decides a comparison falls in every field, and some
// zero; or the word seam (16^8 against 0xFFFFFFFF decides differently on WP
// with P = 7 and P = 8).
inline std::array<uint64_t, 4> RandomRegisters(std::mt19937_64& rng)
{
    static const std::array<uint64_t, 4> Seams[2] = {
        {0x0000000100000000, 0x00000000FFFFFFFF, 0x80000000, 0x7FFFFFFF},
        {0x8000000000000000, 0x7FFFFFFFFFFFFFFF, ~0ull, 0}};
    if (rng() % 16 == 0)
        return Seams[rng() & 1];
    const uint64_t runs[] = {0, 0x9999999999999999, ~0ull};
    const uint8_t mixed[] = {0, 0, 1, 7, 8, 9, 0xA, 0xF, 0xF};
    const bool related = rng() & 1;
    uint64_t base = runs[rng() % 3];
    for (unsigned k = 0, mix = rng() & 1; k < 16 && mix; ++k)
        base = base << 4 | mixed[rng() % sizeof mixed];
    std::array<uint64_t, 4> regs;
    for (uint64_t& reg : regs) {
        reg = related && rng() % 6 ? base : 0;
        for (unsigned changes = related ? rng() % 3 : 0; changes > 0; --changes)
            reg ^= (1 + rng() % 15) << (4 * (rng() % 16));
        for (unsigned k = 0, style = related ? 0 : rng() % 8; k < 16 && style; ++k) {
            const unsigned pick = style < 2 ? 1 : rng() % 4;
            reg |= (pick == 0 ? 0 : pick == 1 ? 15 : rng() & 15) << (4 * k);
        }
    }
    return regs;
}

// Registers as above; pointers often by the ends of the address space, and
// now and then a return address past them (the start sentinel), which a pop
// must give back whole.
inline State Randomize(std::mt19937_64& rng, bool decimal, unsigned p, uint32_t pc = Origin)
{
    decimal ? korvane::SwitchToDecimal() : korvane::SwitchToHex();
    State s;
    const std::array<uint64_t, 4> regs = RandomRegisters(rng);
    for (unsigned r = 0; r < 4; ++r) {
        test::MarkNotLive(Reg(Cpu, r), decimal);
        WriteLive(Reg(Cpu, r), s.R[r] = FromValue(regs[r]), decimal);
    }
    for (uint32_t* d : {&Cpu.D0, &Cpu.D1}) {
        const uint32_t v = rng() & 0xFFFFF, pick = rng() % 3;
        *d = pick == 0 ? v | 0xFFFF0 : pick == 1 ? v & 0x1F : v;
    }
    for (korvane::ScratchRegister& r : Cpu.R)
        r = {static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng())};
    for (uint32_t& entry : Cpu.RSTK)
        entry = rng() % 8 ? rng() & 0xFFFFF : korvane::StartSentinel;
    Cpu.RstkIndex = rng() & 7;
    korvane::SetP(static_cast<uint8_t>(p));
    Cpu.HST = rng() & 15, Cpu.ST = static_cast<uint16_t>(rng()), Cpu.Carry = rng() & 1;
    Cpu.OUT = rng() & 0xFFF, Cpu.IN = static_cast<uint16_t>(rng());
    Cpu.PC = pc, Cpu.SliceCycles = 0;
    std::memcpy(&s.Cpu, &Cpu, sizeof Cpu);
    HooksSeen.clear();
    KVSetDebuggingHackHandler(
        [](uint32_t code) { return HooksSeen.push_back({code, Cpu.PC, Cpu.Carry, Cpu.RstkIndex}), 0u; });
    return s;
}

// Runs the instruction at PC, random nibbles behind it and a breakpoint tag
// on one of its nibbles after the first: no handler reads past its own
// nibbles, and every operand is read without its tag.
inline void RunOne(test::Machine& m, const test::Program& code, std::mt19937_64& rng)
{
    m.place(code);
    for (uint32_t i = 0; i < 16; ++i)
        m.Rom[(code.here() + i) & 0xFFFFF] = rng() & 15;
    const uint32_t tagged = (code.origin() + 1 + static_cast<uint32_t>(rng() % (code.size() - 1))) & 0xFFFFF;
    m.Rom[tagged] |= korvane::BreakpointTag;
    m.step();
    m.Rom[tagged] &= 0x0F;
}

inline testing::AssertionResult Matches(State want)
{
    for (unsigned r = 0; r < 4; ++r)
        WriteLive(Reg(want.Cpu, r), want.R[r], want.Cpu.DecimalMode);
    want.Cpu.PShift = 4u * want.Cpu.P;
    want.Cpu.FetchPointer = Cpu.FetchPointer;
    if (std::memcmp(&want.Cpu, &Cpu, sizeof Cpu) == 0 && HooksSeen == want.Hooks)
        return testing::AssertionSuccess();
    std::ostringstream out;
    const korvane::CpuState& w = want.Cpu;
    out << std::hex << " got/want: PC " << Cpu.PC << '/' << w.PC << ", cycles " << std::dec << Cpu.SliceCycles << '/'
        << w.SliceCycles << std::hex << ", Carry " << +Cpu.Carry << '/' << +w.Carry << ", P " << +Cpu.P << '/' << +w.P
        << ", HST " << +Cpu.HST << '/' << +w.HST << ", ST " << Cpu.ST << '/' << w.ST << ", D0 " << Cpu.D0 << '/' << w.D0
        << ", D1 " << Cpu.D1 << '/' << w.D1 << ", hook calls " << HooksSeen.size() << '/' << want.Hooks.size();
    for (unsigned r = 0; r < 4; ++r)
        out << ", " << "ABCD"[r] << ' ' << test::Value(Reg(Cpu, r)) << '/' << ToValue(want.R[r]);
    return testing::AssertionFailure() << out.str();
}

// Reports a mismatch; false after the tenth, to end a sweep.
inline bool Within(const testing::AssertionResult& result, const std::string& what, int& failures)
{
    if (!result)
        ADD_FAILURE() << what << ':' << result.message();
    return result || ++failures < 10;
}

inline std::string Text(const test::Program& code)
{
    std::string text;
    for (const test::Program::Placed& nibble : code.build())
        text += "0123456789ABCDEF"[nibble.Byte & 15];
    return text;
}

// Instructions 0 to count - 1 in both modes, with P at each of ps, on random
// state: model(i, code, s) writes instruction i into code and turns s, the
// state before, into the state it expects after (s.set gives an operand).
template <typename Model>
void Sweep(unsigned count, Model model, const std::vector<unsigned>& ps = SomeP, unsigned rounds = 1)
{
    test::Machine m;
    std::mt19937_64 rng(count * 31 + rounds);
    int failures = 0;
    for (unsigned round = 0; round < rounds; ++round) {
        for (bool decimal : {false, true}) {
            for (unsigned p : ps) {
                for (unsigned i = 0; i < count; ++i) {
                    State want = Randomize(rng, decimal, p);
                    test::Program code(Origin);
                    model(i, code, want);
                    RunOne(m, code, rng);
                    if (!Within(Matches(want), Text(code) + (decimal ? " decimal P=" : " hex P=") + std::to_string(p),
                                failures))
                        return;
                }
            }
        }
    }
}

} // namespace model
