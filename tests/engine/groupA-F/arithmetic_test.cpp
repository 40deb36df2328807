// Every opcode of groups A to F, in both modes, against a model that keeps
// the registers as 16-element nibble arrays and computes with plain
// integers; decimal rules the model could share a mistake with are pinned
// by cases worked out by hand.
#include "tests/support/machine_model.h"

namespace {

using namespace model;
using Wide = unsigned __int128;

constexpr uint8_t DigitOf[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 2, 3, 4, 5, 6, 7};

// Decodes the three nibbles from scratch (a field-A opcode has two, its
// third is the next instruction's) and applies them to the model.
void Apply(test::Program& code, State& st, unsigned op)
{
    const unsigned n0 = op >> 8, n1 = op >> 4 & 15, n2 = op & 15;
    code.imm(n0, 1).imm(n1, 1).imm(n2, 1);
    const bool fieldA = n0 >= 0xC, decimal = st.Cpu.DecimalMode;
    const auto range = FieldRange(fieldA ? 8 : n1 & 7, st.Cpu.P);
    const unsigned lo = range.first, hi = range.second, b = fieldA ? n1 : n2;
    const unsigned set = fieldA ? n0 - 0xC : (n0 - 0xA) * 2 + (n1 >> 3); // A0, A8, B0, B8 or C, D, E, F
    Nibbles &r = st.R[Pairs[b & 3][0]], &s = st.R[Pairs[b & 3][1]];
    uint8_t& carry = st.Cpu.Carry;
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
    auto add = [&](Nibbles& d, Wide x, Wide y) { carry = x + y >= limit, store(d, (x + y) % limit, base); };
    auto subtract = [&](Nibbles& d, Wide x, Wide y) { carry = x < y, store(d, (x + limit - y) % limit, base); };
    // Decimal increment and decrement end at the first digit that is not
    // passed over; the nibbles above it stay raw.
    auto step = [&](unsigned passDigit, uint8_t passResult, int delta) {
        carry = 1;
        for (unsigned k = lo; k <= hi && carry; ++k) {
            carry = DigitOf[r[k]] == passDigit;
            r[k] = carry ? passResult : static_cast<uint8_t>(DigitOf[r[k]] + delta);
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
    case 13: st.Cpu.HST |= (raw & 15) ? korvane::HstSB : 0, store(r, raw >> 4, 16); break; // rSR
    case 14: subtract(r, 0, number(r)); break;                     // r=-r
    case 15: carry = 0, store(r, limit - 1 - number(r), base); break; // r=-r-1
    }
    st.advance(fieldA ? 2 : 3, fieldA ? 32 : 18 + 4 * (hi - lo + 1));
}

// A field-A opcode fills the 16 entries of its third nibble: all are run.
TEST(FieldArithmetic, EveryOpcodeMatchesTheModelInBothModes)
{
    Sweep(0x600, [](unsigned i, test::Program& code, State& s) { Apply(code, s, 0xA00 + i); }, {0, 1, 7, 8, 14, 15},
          8);
}

// A nibble above 9 counts as 2 to 7; add and subtract rewrite every digit,
// increment and decrement stop at the first digit that holds. The model
// meets each case in decimal mode, and the engine meets the model.
TEST(FieldArithmetic, DecimalCasesWorkedOutByHand)
{
    // Other is loaded into B and C; the result is A's, or C's for EE.
    const struct { unsigned Opcode; unsigned P; uint64_t A, Other, Result; uint8_t Carry; } cases[] = {
        {0xA10, 3, 0x50009, 0x00001, 0x50010, 0},                  // A=A+B, WP
        {0xA10, 3, 0x59999, 0x00001, 0x50000, 1},                  // nibble 4 is outside
        {0xA00, 5, 0xF00000, 0, 0x700000, 0},                      // A=A+B, P: F counts as 7
        {0xA44, 0, 0xE000000000000000, 0, 0x2000000000000000, 1},  // A=A+A, S: 6 + 6
        {0xA3C, 0, 0xC50, 0, 0xC49, 0},                            // A=A-1, X: the C stays
        {0xA6C, 0, 0xA0, 0, 0x19, 0},                              // A=A-1, B: A counts as 2
        {0xB34, 0, 0xF99, 0, 0x800, 0},                            // A=A+1, X
        {0xB74, 0, 0x9999999999999999, 0, 0, 1},                   // A=A+1, W
        {0xEE0, 0, 0x1234500000000000, 0x00001, 0x99999, 1},       // C=A-C, A
        {0xBB8, 0, 0x001, 0, 0x999, 1},                            // A=-A, X
        {0xBE8, 0, 0xA0, 0, 0x80, 1},                              // A=-A, B
        {0xB8C, 2, 0xA39, 0, 0x739, 0},                            // A=-A-1, P
    };
    Sweep(std::size(cases), [&cases](unsigned i, test::Program& code, State& s) {
        const auto& c = cases[i];
        korvane::SetP(static_cast<uint8_t>(c.P));
        s.Cpu.P = static_cast<uint8_t>(c.P);
        s.set(0, c.A), s.set(1, c.Other), s.set(2, c.Other);
        Cpu.Carry = s.Cpu.Carry = !c.Carry;
        Apply(code, s, c.Opcode);
        const auto got = std::tuple(ToValue(s.R[c.Opcode >> 8 == 0xE ? 2 : 0]), s.Cpu.Carry);
        EXPECT_TRUE(!s.Cpu.DecimalMode || got == std::tuple(c.Result, c.Carry)) << std::hex << c.Opcode;
    }, {0});
}

} // namespace
