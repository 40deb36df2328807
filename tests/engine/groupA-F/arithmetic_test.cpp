// Every opcode of groups A to F, in both modes, against a model that keeps
// the registers as 16-element nibble arrays and computes with plain
// integers; decimal rules the model could share a mistake with are pinned
// by cases worked out by hand.
#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/field_model.h"

using korvane::Cpu;

namespace {

using Wide = unsigned __int128;
using Nibbles = std::array<uint8_t, 16>;

constexpr uint8_t DigitOf[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 2, 3, 4, 5, 6, 7};

struct Model {
    std::array<Nibbles, 4> Reg;
    uint8_t Carry, Hst;
};

// Decodes the opcode from scratch and applies it to the model.
void Apply(Model& m, unsigned n0, unsigned n1, unsigned n2, unsigned p, bool decimal)
{
    static const unsigned pairs[4][2] = {{0, 1}, {1, 2}, {2, 0}, {3, 2}};
    const bool fieldA = n0 >= 0xC;
    // Plain variables, not a structured binding: clang 14 does not let the
    // lambdas below capture bindings.
    const test::FieldRange range = test::RangeOfField(fieldA ? 8 : n1 & 7, p);
    const unsigned lo = range.Low, hi = range.High;
    const unsigned b = fieldA ? n1 : n2;
    const unsigned set = fieldA ? n0 - 0xC : (n0 - 0xA) * 2 + (n1 >> 3); // A0, A8, B0, B8 or C, D, E, F
    Nibbles& r = m.Reg[pairs[b & 3][0]];
    Nibbles& s = m.Reg[pairs[b & 3][1]];
    const unsigned base = decimal ? 10 : 16;
    Wide limit = 1;
    for (unsigned k = lo; k <= hi; ++k)
        limit *= base;
    auto value = [&](const Nibbles& n, bool digits) {
        Wide v = 0;
        for (unsigned k = hi + 1; k-- > lo;)
            v = v * (digits ? 10 : 16) + (digits ? DigitOf[n[k]] : n[k]);
        return v;
    };
    auto store = [&](Nibbles& n, Wide v, unsigned radix) {
        for (unsigned k = lo; k <= hi; ++k, v /= radix)
            n[k] = static_cast<uint8_t>(v % radix);
    };
    auto number = [&](const Nibbles& n) { return value(n, decimal); };
    auto add = [&](Nibbles& d, Wide x, Wide y) {
        m.Carry = x + y >= limit;
        store(d, (x + y) % limit, base);
    };
    auto subtract = [&](Nibbles& d, Wide x, Wide y) {
        m.Carry = x < y;
        store(d, (x + limit - y) % limit, base);
    };
    // Decimal increment and decrement end at the first digit that is not
    // passed over; the nibbles above it stay raw.
    auto step = [&](unsigned passDigit, uint8_t passResult, int delta) {
        m.Carry = 1;
        for (unsigned k = lo; k <= hi && m.Carry; ++k) {
            m.Carry = DigitOf[r[k]] == passDigit;
            r[k] = m.Carry ? passResult : static_cast<uint8_t>(DigitOf[r[k]] + delta);
        }
    };
    const Wide raw = value(r, false), rawOther = value(s, false);

    switch (set * 4 + (b >> 2)) {
    case 0: add(r, number(r), number(s)); break;                   // r=r+s
    case 1: add(r, number(r), number(r)); break;                   // r=r+r
    case 2: add(s, number(s), number(r)); break;                   // s=s+r
    case 3: decimal ? step(0, 9, -1) : subtract(r, raw, 1); break; // r=r-1
    case 4: store(r, 0, 16); break;                                // r=0
    case 5: store(r, rawOther, 16); break;                         // r=s
    case 6: store(s, raw, 16); break;                              // s=r
    case 7: store(r, rawOther, 16), store(s, raw, 16); break;      // rsEX
    case 8: subtract(r, number(r), number(s)); break;              // r=r-s
    case 9: decimal ? step(9, 0, +1) : add(r, raw, 1); break;      // r=r+1
    case 10: subtract(s, number(s), number(r)); break;             // s=s-r
    case 11: subtract(r, number(s), number(r)); break;             // r=s-r
    case 12: store(r, raw << 4, 16); break;                        // rSL
    case 13: m.Hst |= (raw & 15) ? 2 : 0, store(r, raw >> 4, 16); break; // rSR
    case 14: subtract(r, 0, number(r)); break;                     // r=-r
    case 15: m.Carry = 0, store(r, limit - 1 - number(r), base); break; // r=-r-1
    }
}

// A field-A opcode is two nibbles long and fills the 16 entries of its
// third nibble, which belongs to the next instruction: all are run.
void SweepEveryOpcode(bool decimal)
{
    test::Machine machine;
    test::EnterMode(decimal);
    const auto sets = test::BiasedRegisterSets();
    korvane::NibbleRegister* const working[4] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    const uint8_t hst[] = {0x0, 0xD, 0x2}; // SB clear or set, the other bits kept
    for (unsigned op = 0xA00; op <= 0xFFF; ++op) {
        const unsigned n0 = op >> 8, n1 = op >> 4 & 15, n2 = op & 15;
        for (unsigned k = 0; k < 3; ++k)
            machine.Rom[0x01002 - k] = static_cast<uint8_t>(op >> (4 * k) & 15);
        for (unsigned p : {0u, 1u, 7u, 8u, 14u, 15u}) {
            const auto [lo, hi] = test::RangeOfField(n0 < 0xC ? n1 & 7 : 8, p);
            for (unsigned i = 0; i < sets.size(); ++i) {
                Model m{{}, static_cast<uint8_t>(i & 1), hst[i % 3]};
                for (unsigned k = 0; k < 4; ++k) {
                    test::LoadLive(*working[k], sets[i][k], decimal);
                    for (unsigned j = 0; j < 16; ++j)
                        m.Reg[k][j] = static_cast<uint8_t>(test::NibbleOf(sets[i][k], j));
                }
                Cpu.PC = 0x01000;
                Cpu.SliceCycles = 0;
                Cpu.Carry = m.Carry;
                Cpu.HST = m.Hst;
                korvane::SetP(static_cast<uint8_t>(p));
                Apply(m, n0, n1, n2, p, decimal);
                machine.step();

                std::array<uint64_t, 4> expected{}, actual{};
                for (unsigned k = 0; k < 4; ++k) {
                    for (unsigned j = 16; j-- > 0;)
                        expected[k] = expected[k] << 4 | m.Reg[k][j];
                    actual[k] = test::LiveOf(*working[k], decimal);
                    ASSERT_TRUE(test::StaleUntouched(*working[k], decimal)) << "ABCD"[k];
                }
                ASSERT_EQ(std::tuple(actual, Cpu.Carry, Cpu.HST, Cpu.PC, Cpu.SliceCycles, Cpu.P),
                          std::tuple(expected, m.Carry, m.Hst, n0 < 0xC ? 0x01003u : 0x01002u,
                                     n0 < 0xC ? 18 + 4 * (hi - lo + 1) : 32u, static_cast<uint8_t>(p)))
                    << std::hex << op << " P=" << std::dec << p << " set " << i;
            }
        }
    }
}

TEST(FieldArithmetic, HexadecimalMembersMatchTheNibbleModel)
{
    SweepEveryOpcode(false);
}

TEST(FieldArithmetic, DecimalMembersMatchTheDigitModel)
{
    SweepEveryOpcode(true);
}

// A nibble above 9 counts as 2 to 7; add and subtract rewrite every digit,
// increment and decrement stop at the first digit that holds.
TEST(FieldArithmetic, DecimalCasesWorkedOutByHand)
{
    // Other is loaded into B and C; the result is A's, or C's for EE.
    const struct { const char* Opcode; unsigned P; uint64_t A, Other, Result; uint8_t Carry; } cases[] = {
        {"A10", 3, 0x50009, 0x00001, 0x50010, 0},                  // A=A+B, WP
        {"A10", 3, 0x59999, 0x00001, 0x50000, 1},                  // nibble 4 is outside
        {"A00", 5, 0xF00000, 0, 0x700000, 0},                      // A=A+B, P: F counts as 7
        {"A44", 0, 0xE000000000000000, 0, 0x2000000000000000, 1},  // A=A+A, S: 6 + 6
        {"A3C", 0, 0xC50, 0, 0xC49, 0},                            // A=A-1, X: the C stays
        {"A6C", 0, 0xA0, 0, 0x19, 0},                              // A=A-1, B: A counts as 2
        {"B34", 0, 0xF99, 0, 0x800, 0},                            // A=A+1, X
        {"B74", 0, 0x9999999999999999, 0, 0, 1},                   // A=A+1, W
        {"EE", 0, 0x1234500000000000, 0x00001, 0x99999, 1},        // C=A-C, A
        {"BB8", 0, 0x001, 0, 0x999, 1},                            // A=-A, X
        {"BE8", 0, 0xA0, 0, 0x80, 1},                              // A=-A, B
        {"B8C", 2, 0xA39, 0, 0x739, 0},                            // A=-A-1, P
    };
    test::Machine machine;
    test::EnterMode(true);
    for (const auto& c : cases) {
        test::Program program(0x01000);
        machine.load(program.op(c.Opcode));
        korvane::SetP(static_cast<uint8_t>(c.P));
        Cpu.Carry = !c.Carry;
        test::LoadLive(Cpu.A, c.A, true);
        test::LoadLive(Cpu.B, c.Other, true);
        test::LoadLive(Cpu.C, c.Other, true);
        machine.step();
        const uint64_t result = test::LiveOf(c.Opcode[0] == 'E' ? Cpu.C : Cpu.A, true);
        EXPECT_EQ(std::tuple(result, Cpu.Carry), std::tuple(c.Result, c.Carry)) << c.Opcode;
    }
}

} // namespace
