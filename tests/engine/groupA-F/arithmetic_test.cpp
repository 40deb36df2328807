// Every opcode of groups A to F, in both modes, against a model that keeps
// registers as 16-element nibble arrays and computes with plain integers.
#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "tests/engine/groupA-F/field_harness.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using namespace fieldtest;

namespace {

using Wide = unsigned __int128;
using Nibbles = std::array<uint8_t, 16>;

constexpr uint8_t DigitOf[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 2, 3, 4, 5, 6, 7};

struct Model {
    Nibbles Reg[4];
    uint8_t Carry, Hst;
    unsigned Length, Cost;
};

// Decodes the opcode from scratch and applies it to the model.
void Apply(Model& m, unsigned n0, unsigned n1, unsigned n2, unsigned p, bool decimal)
{
    static const unsigned bounds[9][2] = {{0, 0}, {0, 0}, {2, 2}, {0, 2}, {15, 15}, {3, 14}, {0, 1}, {0, 15}, {0, 4}};
    static const unsigned pairs[4][2] = {{0, 1}, {1, 2}, {2, 0}, {3, 2}};
    const bool fieldA = n0 >= 0xC;
    const unsigned field = fieldA ? 8 : n1 & 7, b = fieldA ? n1 : n2;
    const unsigned set = fieldA ? n0 - 0xC : (n0 - 0xA) * 2 + (n1 >> 3); // A0, A8, B0, B8 or C, D, E, F
    const unsigned lo = field == 0 ? p : bounds[field][0], hi = field <= 1 ? p : bounds[field][1];
    m.Length = fieldA ? 2 : 3;
    m.Cost = fieldA ? 32 : 18 + 4 * (hi - lo + 1);

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

uint64_t WithNibble(uint64_t v, unsigned k, unsigned nibble)
{
    return (v & ~(uint64_t{15} << (4 * k))) | uint64_t{nibble & 15u} << (4 * k);
}

// Biased towards what breaks field arithmetic: all 0, all 9, all F, and
// neighbours differing in one nibble at field ends and at the word seam.
std::vector<std::array<uint64_t, 4>> DataSets()
{
    const uint64_t bases[] = {0, ~uint64_t{0}, 0x9999999999999999u, 0x0F1E2D3C4B5A6978u, 0x1234567890987654u,
                              0x8000000000000001u};
    std::vector<std::array<uint64_t, 4>> sets;
    for (uint64_t v : bases) {
        for (unsigned k : {0u, 2u, 3u, 7u, 8u, 14u, 15u}) {
            const unsigned n = (v >> (4 * k)) & 15;
            sets.push_back({v, WithNibble(v, k, n ^ 1), WithNibble(v, k, n + 1), WithNibble(v, (k + 7) & 15, n + 9)});
        }
        for (uint64_t u : bases)
            sets.push_back({v, u, ~u, v ^ u});
    }
    uint64_t seed = 0x2545F4914F6CDD1Du;
    for (unsigned i = 0; i < 16; ++i) {
        std::array<uint64_t, 4> set{};
        for (uint64_t& reg : set) {
            for (unsigned k = 0; k < 16; ++k) {
                seed = seed * 6364136223846793005u + 1442695040888963407u;
                const unsigned pick = seed >> 60;
                reg = WithNibble(reg, k, pick < 4 ? 0 : pick < 8 ? 9 : pick < 10 ? 15 : (seed >> 40) & 15);
            }
        }
        sets.push_back(set);
    }
    return sets;
}

korvane::NibbleRegister* const Registers[4] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};

Nibbles ToNibbles(uint64_t v)
{
    Nibbles n{};
    for (unsigned k = 0; k < 16; ++k)
        n[k] = (v >> (4 * k)) & 15;
    return n;
}

// Runs one opcode on one data set and describes every difference from the model.
std::string Check(unsigned n0, unsigned n1, unsigned n2, unsigned p, unsigned setIndex,
                  const std::array<uint64_t, 4>& data, Mode mode)
{
    const Mode other = mode == Mode::Hex ? Mode::Decimal : Mode::Hex;
    std::memset(&Cpu, 0, sizeof Cpu);
    korvane::SetP(static_cast<uint8_t>(p));
    Cpu.Carry = setIndex & 1;
    Cpu.HST = static_cast<uint8_t>(setIndex % 3 == 0 ? 0x0 : setIndex % 3 == 1 ? 0xD : 0x2);
    Cpu.ST = 0xBEEF;
    Cpu.D0 = 0x12345;
    Cpu.R[4] = {0x11111111, 0x22222222};
    Model m{};
    uint64_t stale[4];
    for (unsigned i = 0; i < 4; ++i) {
        Load(*Registers[i], data[i], mode);
        m.Reg[i] = ToNibbles(data[i]);
        stale[i] = Read(*Registers[i], other);
    }
    m.Carry = Cpu.Carry;
    m.Hst = Cpu.HST;
    Apply(m, n0, n1, n2, p, mode == Mode::Decimal);
    const char digits[] = {"0123456789ABCDEF"[n0], "0123456789ABCDEF"[n1], "0123456789ABCDEF"[n2], 0};
    Execute(digits, mode);

    std::ostringstream out;
    for (unsigned i = 0; i < 4; ++i) {
        if (ToNibbles(Read(*Registers[i], mode)) != m.Reg[i])
            out << " " << "ABCD"[i] << "=" << std::hex << Read(*Registers[i], mode) << std::dec;
        if (Read(*Registers[i], other) != stale[i])
            out << " other form of " << "ABCD"[i] << " changed";
    }
    if (Cpu.Carry != m.Carry || Cpu.HST != m.Hst)
        out << " carry " << int{Cpu.Carry} << " hst " << int{Cpu.HST} << ", expected " << int{m.Carry} << " "
            << int{m.Hst};
    if (Cpu.PC != m.Length || Cpu.SliceCycles != m.Cost)
        out << " pc " << Cpu.PC << " cost " << Cpu.SliceCycles << ", expected " << m.Length << " " << m.Cost;
    if (Cpu.P != p || Cpu.PShift != 4 * p || Cpu.ST != 0xBEEF || Cpu.D0 != 0x12345 || Cpu.R[4].Low != 0x11111111)
        out << " state outside the working registers changed";
    return out.str().empty() ? std::string{} : digits + (" P=" + std::to_string(p)) + " set " +
                                                   std::to_string(setIndex) + ":" + out.str();
}

void CheckEveryOpcode(Mode mode)
{
    const auto sets = DataSets();
    std::vector<std::string> failures;
    for (unsigned n0 = 0xA; n0 <= 0xF; ++n0) {
        for (unsigned rest = 0; rest < (n0 < 0xC ? 256u : 16u); ++rest) {
            for (unsigned p : {0u, 1u, 7u, 8u, 14u, 15u}) {
                for (unsigned i = 0; i < sets.size(); ++i) {
                    // After a field-A opcode the third nibble varies: it belongs to the next instruction.
                    std::string failure = Check(n0, rest & 15, n0 < 0xC ? rest >> 4 : i & 15, p, i, sets[i], mode);
                    if (!failure.empty() && failures.size() < 10)
                        failures.push_back(std::move(failure));
                }
            }
        }
    }
    for (const std::string& failure : failures)
        ADD_FAILURE() << failure;
}

TEST(FieldArithmetic, HexadecimalMembersMatchTheNibbleModel)
{
    CheckEveryOpcode(Mode::Hex);
}

TEST(FieldArithmetic, DecimalMembersMatchTheDigitModel)
{
    CheckEveryOpcode(Mode::Decimal);
}

// Every entry of groups A to F holds a handler of its own mode; rSL and
// r=0 share one on fields S and XS (AC0 with BC0, AA0 with BA0, ...) but
// not on field P.
TEST(FieldArithmetic, TablesHoldOneHandlerPerOpcodeAndMode)
{
    using korvane::DispatchIndex;
    const auto& hex = korvane::HexDispatchTable;
    const auto& dec = korvane::DecimalDispatchTable;
    for (unsigned n0 = 0xA; n0 <= 0xF; ++n0) {
        for (unsigned rest = 0; rest < 256; ++rest) {
            const unsigned index = DispatchIndex(n0, rest & 15, rest >> 4);
            EXPECT_NE(hex[index], dec[index]) << index;
        }
    }
    for (const auto* table : {&hex, &dec}) {
        for (unsigned b = 0; b < 4; ++b) {
            EXPECT_EQ((*table)[DispatchIndex(0xA, 0xA, b)], (*table)[DispatchIndex(0xB, 0xA, b)]);
            EXPECT_EQ((*table)[DispatchIndex(0xA, 0xC, b)], (*table)[DispatchIndex(0xB, 0xC, b)]);
            EXPECT_NE((*table)[DispatchIndex(0xA, 0x8, b)], (*table)[DispatchIndex(0xB, 0x8, b)]);
        }
    }
}

// Through the engine: SETDEC selects the decimal members, SETHEX the
// hexadecimal ones again.
TEST(FieldArithmetic, ModeSwitchSelectsTheMembers)
{
    test::Machine machine;
    test::Program program(0x00200);
    program.op("C4").setdec().op("C4").sethex();
    machine.load(program);
    test::SetValue(Cpu.A, 0x00058);
    machine.step(2); // A=A+A in hexadecimal, then SETDEC
    EXPECT_EQ(test::Value(Cpu.A), 0xB0u);
    machine.step(2); // A=A+A in decimal: B counts as 3, so 0B0 + 0B0 = 060
    EXPECT_EQ(test::Value(Cpu.A), 0x60u);
    EXPECT_EQ(Cpu.PC, 0x00208u);
}

} // namespace
