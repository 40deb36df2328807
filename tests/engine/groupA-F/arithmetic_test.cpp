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
using NibbleArray = std::array<uint8_t, 16>;

constexpr uint8_t DigitOf[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 2, 3, 4, 5, 6, 7};

struct Opcode {
    unsigned N0, N1, N2;
    unsigned Low, High; // nibbles of the field
    unsigned Length, Cost;
    unsigned Group, Set, Operation; // group 0xA or 0xB, set 0 or 1, operation 0-3
    unsigned R, S;                  // register numbers, A = 0
};

Opcode Decode(unsigned n0, unsigned n1, unsigned n2, unsigned p)
{
    static const unsigned bounds[9][2] = {{0, 0}, {0, 0}, {2, 2}, {0, 2}, {15, 15}, {3, 14}, {0, 1}, {0, 15}, {0, 4}};
    static const unsigned pairs[4][2] = {{0, 1}, {1, 2}, {2, 0}, {3, 2}};
    Opcode op{n0, n1, n2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    unsigned field, b;
    if (n0 >= 0xC) {
        field = 8;
        b = n1;
        op.Group = n0 < 0xE ? 0xA : 0xB;
        op.Set = (n0 - 0xC) & 1;
        op.Length = 2;
    } else {
        field = n1 & 7;
        b = n2;
        op.Group = n0;
        op.Set = n1 >> 3;
        op.Length = 3;
    }
    op.Low = field == 0 ? p : bounds[field][0];
    op.High = field <= 1 ? p : bounds[field][1];
    op.Cost = field == 8 ? 32 : 18 + 4 * (op.High - op.Low + 1);
    op.Operation = b >> 2;
    op.R = pairs[b & 3][0];
    op.S = pairs[b & 3][1];
    return op;
}

struct Model {
    NibbleArray Reg[4];
    uint8_t Carry;
    uint8_t Hst;
};

// The field read as one number: hexadecimal nibbles, or digits counted by
// their decimal value.
Wide FieldValue(const NibbleArray& n, const Opcode& op, bool digits)
{
    Wide v = 0;
    for (unsigned k = op.High + 1; k-- > op.Low;)
        v = v * (digits ? 10 : 16) + (digits ? DigitOf[n[k]] : n[k]);
    return v;
}

void StoreValue(NibbleArray& n, const Opcode& op, unsigned base, Wide v)
{
    for (unsigned k = op.Low; k <= op.High; ++k, v /= base)
        n[k] = static_cast<uint8_t>(v % base);
}

void Apply(Model& m, const Opcode& op, bool decimal)
{
    const unsigned base = decimal ? 10 : 16;
    Wide limit = 1;
    for (unsigned k = op.Low; k <= op.High; ++k)
        limit *= base;
    NibbleArray& r = m.Reg[op.R];
    NibbleArray& s = m.Reg[op.S];
    auto value = [&](const NibbleArray& n) { return FieldValue(n, op, decimal); };
    auto add = [&](NibbleArray& dst, Wide x, Wide y) {
        m.Carry = x + y >= limit;
        StoreValue(dst, op, base, (x + y) % limit);
    };
    auto subtract = [&](NibbleArray& dst, Wide x, Wide y) {
        m.Carry = x < y;
        StoreValue(dst, op, base, (x + limit - y) % limit);
    };
    // Decimal increment and decrement stop at the first digit that does
    // not carry or borrow and leave the nibbles above it raw.
    auto step = [&](unsigned stopUnless, uint8_t passOver, int delta) {
        for (unsigned k = op.Low; k <= op.High; ++k) {
            if (DigitOf[r[k]] != stopUnless) {
                r[k] = static_cast<uint8_t>(DigitOf[r[k]] + delta);
                m.Carry = 0;
                return;
            }
            r[k] = passOver;
        }
        m.Carry = 1;
    };
    const Wide raw = FieldValue(r, op, false);
    const Wide rawLimit = Wide{1} << (4 * (op.High - op.Low + 1));

    switch ((op.Group - 0xA) * 8 + op.Set * 4 + op.Operation) {
    case 0: add(r, value(r), value(s)); break;      // r=r+s
    case 1: add(r, value(r), value(r)); break;      // r=r+r
    case 2: add(s, value(s), value(r)); break;      // s=s+r
    case 3:                                         // r=r-1
        if (decimal)
            step(0, 9, -1);
        else
            subtract(r, value(r), 1);
        break;
    case 4: StoreValue(r, op, 16, 0); break;        // r=0
    case 5: StoreValue(r, op, 16, FieldValue(s, op, false)); break; // r=s
    case 6: StoreValue(s, op, 16, raw); break;      // s=r
    case 7: {                                       // rsEX
        const Wide other = FieldValue(s, op, false);
        StoreValue(s, op, 16, raw);
        StoreValue(r, op, 16, other);
        break;
    }
    case 8: subtract(r, value(r), value(s)); break;  // r=r-s
    case 9:                                          // r=r+1
        if (decimal)
            step(9, 0, +1);
        else
            add(r, value(r), 1);
        break;
    case 10: subtract(s, value(s), value(r)); break; // s=s-r
    case 11: subtract(r, value(s), value(r)); break; // r=s-r
    case 12: StoreValue(r, op, 16, (raw << 4) % rawLimit); break; // rSL
    case 13:                                                       // rSR
        if (raw & 15)
            m.Hst |= 2;
        StoreValue(r, op, 16, raw >> 4);
        break;
    case 14: {                                                     // r=-r
        const Wide v = value(r);
        m.Carry = v != 0;
        StoreValue(r, op, base, (limit - v) % limit);
        break;
    }
    case 15: m.Carry = 0; StoreValue(r, op, base, limit - 1 - value(r)); break; // r=-r-1
    }
}

uint64_t WithNibble(uint64_t v, unsigned k, unsigned nibble)
{
    return (v & ~(uint64_t{15} << (4 * k))) | uint64_t{nibble & 15u} << (4 * k);
}

// Register contents biased towards the cases that break field arithmetic:
// all 0, all 9, all F, and neighbours that differ in one nibble at the
// field boundaries and at the seam between the packed words.
std::vector<std::array<uint64_t, 4>> DataSets()
{
    const uint64_t bases[] = {0, ~uint64_t{0}, 0x9999999999999999u, 0x0F1E2D3C4B5A6978u,
                              0x1234567890987654u, 0x8000000000000001u};
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
                const unsigned nibble = pick < 4 ? 0 : pick < 8 ? 9 : pick < 10 ? 15 : (seed >> 40) & 15;
                reg = WithNibble(reg, k, nibble);
            }
        }
        sets.push_back(set);
    }
    return sets;
}

korvane::NibbleRegister* const Registers[4] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};

NibbleArray ToArray(uint64_t v)
{
    NibbleArray n{};
    for (unsigned k = 0; k < 16; ++k)
        n[k] = (v >> (4 * k)) & 15;
    return n;
}

// Runs one opcode on one data set and describes every difference from the model.
std::string Check(const Opcode& op, unsigned p, unsigned setIndex, const std::array<uint64_t, 4>& data, Mode mode)
{
    std::memset(&Cpu, 0, sizeof Cpu);
    korvane::SetP(static_cast<uint8_t>(p));
    Cpu.Carry = setIndex & 1;
    Cpu.HST = static_cast<uint8_t>(setIndex % 3 == 0 ? 0x0 : setIndex % 3 == 1 ? 0xD : 0x2);
    Cpu.ST = 0xBEEF;
    Cpu.D0 = 0x12345;
    Cpu.R[4] = {0x11111111, 0x22222222};
    Cpu.PC = 0x10000;
    Cpu.SliceCycles = 1000;
    Model m{};
    uint64_t stale[4];
    for (unsigned i = 0; i < 4; ++i) {
        Load(*Registers[i], data[i], mode);
        m.Reg[i] = ToArray(data[i]);
        stale[i] = ReadStale(*Registers[i], mode);
    }
    m.Carry = Cpu.Carry;
    m.Hst = Cpu.HST;
    Apply(m, op, mode == Mode::Decimal);

    uint8_t code[4] = {static_cast<uint8_t>(op.N0), static_cast<uint8_t>(op.N1), static_cast<uint8_t>(op.N2), 0};
    const auto& table = mode == Mode::Hex ? korvane::HexDispatchTable : korvane::DecimalDispatchTable;
    Cpu.FetchPointer = code;
    table[korvane::DispatchIndex(code[0], code[1], code[2])]();

    std::ostringstream out;
    for (unsigned i = 0; i < 4; ++i) {
        if (ToArray(Read(*Registers[i], mode)) != m.Reg[i])
            out << " reg" << "ABCD"[i] << "=" << std::hex << Read(*Registers[i], mode) << std::dec;
        if (ReadStale(*Registers[i], mode) != stale[i])
            out << " stale form of " << "ABCD"[i] << " changed";
    }
    if (Cpu.Carry != m.Carry)
        out << " carry=" << int{Cpu.Carry} << " expected " << int{m.Carry};
    if (Cpu.HST != m.Hst)
        out << " hst=" << int{Cpu.HST} << " expected " << int{m.Hst};
    if (Cpu.PC != 0x10000 + op.Length)
        out << " pc=" << std::hex << Cpu.PC << std::dec;
    if (Cpu.SliceCycles != 1000 + op.Cost)
        out << " cost=" << Cpu.SliceCycles - 1000 << " expected " << op.Cost;
    if (Cpu.P != p || Cpu.PShift != 4 * p || Cpu.ST != 0xBEEF || Cpu.D0 != 0x12345 || Cpu.R[4].Low != 0x11111111 ||
        Cpu.R[4].High != 0x22222222)
        out << " state outside the registers changed";
    if (out.str().empty())
        return {};
    std::ostringstream head;
    head << std::hex << std::uppercase << op.N0 << op.N1 << op.N2 << std::dec
         << " P=" << p << " set " << setIndex << ":";
    return head.str() + out.str();
}

void CheckEveryOpcode(Mode mode)
{
    const auto sets = DataSets();
    std::vector<std::string> failures;
    unsigned count = 0;
    for (unsigned n0 = 0xA; n0 <= 0xF; ++n0) {
        for (unsigned n1 = 0; n1 < 16; ++n1) {
            for (unsigned n2 = 0; n2 < (n0 < 0xC ? 16u : 1u); ++n2) {
                for (unsigned p : {0u, 1u, 7u, 8u, 14u, 15u}) {
                    for (unsigned i = 0; i < sets.size(); ++i) {
                        // The third nibble of a two-nibble opcode varies: it belongs to the next instruction.
                        const Opcode op = Decode(n0, n1, n0 < 0xC ? n2 : i & 15, p);
                        std::string failure = Check(op, p, i, sets[i], mode);
                        ++count;
                        if (!failure.empty() && failures.size() < 10)
                            failures.push_back(std::move(failure));
                    }
                }
            }
        }
    }
    EXPECT_EQ(count, 576u * 6u * sets.size());
    for (const std::string& failure : failures)
        ADD_FAILURE() << failure;
}

TEST(FieldArithmeticModel, HexadecimalMembersMatchTheNibbleModel)
{
    CheckEveryOpcode(Mode::Hex);
}

TEST(FieldArithmeticModel, DecimalMembersMatchTheDigitModel)
{
    CheckEveryOpcode(Mode::Decimal);
}

TEST(FieldArithmeticTables, EveryEntryOfGroupsAToFHasAHandler)
{
    for (const auto* table : {&korvane::HexDispatchTable, &korvane::DecimalDispatchTable}) {
        for (unsigned n0 = 0xA; n0 <= 0xF; ++n0) {
            for (unsigned rest = 0; rest < 256; ++rest)
                EXPECT_NE((*table)[korvane::DispatchIndex(n0, rest & 15, rest >> 4)], &korvane::OpPlaceholder)
                    << std::hex << n0 << (rest & 15) << (rest >> 4);
        }
    }
}

// The rSL and r=0 opcodes of fields S and XS are one handler per mode;
// field P keeps two, and no handler stands in both modes.
TEST(FieldArithmeticTables, ShiftLeftSharesTheClearHandlerOnlyOnFieldsSAndXS)
{
    for (const auto* table : {&korvane::HexDispatchTable, &korvane::DecimalDispatchTable}) {
        for (unsigned b = 0; b < 4; ++b) {
            for (unsigned a : {0xAu, 0xCu})
                EXPECT_EQ((*table)[korvane::DispatchIndex(0xA, a, b)], (*table)[korvane::DispatchIndex(0xB, a, b)]);
            EXPECT_NE((*table)[korvane::DispatchIndex(0xA, 0x8, b)], (*table)[korvane::DispatchIndex(0xB, 0x8, b)]);
        }
    }
    EXPECT_NE(korvane::HexDispatchTable[korvane::DispatchIndex(0xA, 0xC, 0)],
              korvane::DecimalDispatchTable[korvane::DispatchIndex(0xA, 0xC, 0)]);
}

// A field-A opcode fills the 16 entries of its third nibble; each runs
// the same operation from the same state.
TEST(FieldArithmeticTables, FieldAOpcodesBehaveAlikeWhateverFollows)
{
    for (Mode mode : {Mode::Hex, Mode::Decimal}) {
        for (unsigned n0 = 0xC; n0 <= 0xF; ++n0) {
            for (unsigned n1 = 0; n1 < 16; ++n1) {
                uint64_t first[4] = {};
                for (unsigned n2 = 0; n2 < 16; ++n2) {
                    std::memset(&Cpu, 0, sizeof Cpu);
                    for (unsigned i = 0; i < 4; ++i)
                        Load(*Registers[i], 0x0000000000098F17u * (i + 3), mode);
                    const char digits[4] = {"0123456789ABCDEF"[n0], "0123456789ABCDEF"[n1],
                                            "0123456789ABCDEF"[n2], 0};
                    Execute(digits, mode);
                    EXPECT_EQ(Cpu.PC, 2u);
                    EXPECT_EQ(Cpu.SliceCycles, 32u);
                    for (unsigned i = 0; i < 4; ++i) {
                        if (n2 == 0)
                            first[i] = Read(*Registers[i], mode);
                        EXPECT_EQ(Read(*Registers[i], mode), first[i]) << digits;
                    }
                }
            }
        }
    }
}

// Through the engine: SETDEC selects the decimal members, SETHEX the
// hexadecimal ones again.
TEST(FieldArithmeticTables, ModeSwitchSelectsTheMembers)
{
    test::Machine machine;
    test::Program p(0x00200);
    p.op("C4").setdec().op("C4").sethex();
    machine.load(p);
    test::SetValue(Cpu.A, 0x00058);
    machine.step(2); // A=A+A in hexadecimal, then SETDEC
    EXPECT_EQ(test::Value(Cpu.A), 0xB0u);
    machine.step(2); // A=A+A in decimal: B counts as 3, so 0B0 + 0B0 = 060
    EXPECT_EQ(test::Value(Cpu.A), 0x60u);
    EXPECT_EQ(Cpu.PC, 0x00208u);
    EXPECT_EQ(Cpu.SliceCycles, 32u + 16u + 32u + 16u);
}

} // namespace
