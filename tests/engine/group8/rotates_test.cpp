#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "tests/engine/group8/single_step.h"

using korvane::Cpu;
using namespace test;

namespace {

const char* const Digits = "0123456789ABCDEF";

korvane::NibbleRegister& RegisterNumber(unsigned r)
{
    korvane::NibbleRegister* all[] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    return *all[r];
}

// Nibble span of a field code; P and WP follow P, 8 to F all mean A.
void FieldSpan(unsigned code, unsigned p, unsigned& low, unsigned& high)
{
    static const unsigned spans[9][2] = {{0, 0}, {0, 0}, {2, 2}, {0, 2}, {15, 15}, {3, 14}, {0, 1}, {0, 15}, {0, 4}};
    const unsigned i = code > 8 ? 8 : code;
    low = i == 0 ? p : spans[i][0];
    high = i <= 1 ? p : spans[i][1];
}

struct Result {
    uint64_t Value;
    bool SetsSb;
};

struct Case {
    std::string Opcode;
    unsigned Register;
    uint32_t Length;
    uint32_t Cost;
    std::function<Result(uint64_t)> Model;
};

// Every instruction of the family with its model for the current P.
std::vector<Case> Cases(unsigned p)
{
    std::vector<Case> cases;
    for (unsigned r = 0; r < 4; ++r) {
        cases.push_back({std::string("81") + Digits[r], r, 3, 90, [](uint64_t v) {
                             NibbleArray n = ToNibbles(v), out{};
                             for (unsigned k = 0; k < 16; ++k)
                                 out[(k + 1) % 16] = n[k];
                             return Result{FromNibbles(out), false};
                         }});
        cases.push_back({std::string("81") + Digits[4 + r], r, 3, 90, [](uint64_t v) {
                             NibbleArray n = ToNibbles(v), out{};
                             for (unsigned k = 0; k < 16; ++k)
                                 out[k] = n[(k + 1) % 16];
                             return Result{FromNibbles(out), n[0] != 0};
                         }});
        cases.push_back({std::string("81") + Digits[12 + r], r, 3, 86,
                         [](uint64_t v) { return Result{v >> 1, (v & 1) != 0}; }});
        for (unsigned f = 0; f < 16; ++f) {
            unsigned low, high;
            FieldSpan(f, p, low, high);
            cases.push_back({std::string("819") + Digits[f] + Digits[r], r, 5, 34 + 4 * (high - low + 1),
                             [low, high](uint64_t v) {
                                 NibbleArray n = ToNibbles(v);
                                 uint64_t field = 0;
                                 for (unsigned k = high + 1; k-- > low;)
                                     field = (field << 4) | n[k];
                                 const bool sb = field & 1;
                                 field >>= 1;
                                 for (unsigned k = low; k <= high; ++k, field >>= 4)
                                     n[k] = field & 15;
                                 return Result{FromNibbles(n), sb};
                             }});
        }
    }
    const char* const bitKinds[4] = {"8084", "8085", "8088", "8089"};
    for (unsigned kind = 0; kind < 4; ++kind) {
        for (unsigned bit = 0; bit < 16; ++bit) {
            const bool set = kind & 1;
            cases.push_back({std::string(bitKinds[kind]) + Digits[bit], kind < 2 ? 0u : 2u, 5, 30,
                             [set, bit](uint64_t v) {
                                 const uint64_t mask = uint64_t{1} << bit;
                                 return Result{set ? v | mask : v & ~mask, false};
                             }});
        }
    }
    return cases;
}

// Both members against the model on random registers and every P: the
// register named changes as modelled, SB is only ever set, nothing else moves.
TEST(Rotates, EveryMemberMatchesTheNibbleModelOnRandomRegistersAndEveryP)
{
    Machine m;
    std::mt19937_64 random(0x5A7C0DE);
    for (bool decimal : {false, true}) {
        for (unsigned p = 0; p < 16; ++p) {
            for (unsigned trial = 0; trial < 3; ++trial) {
                for (const Case& c : Cases(p)) {
                    uint64_t before[4];
                    for (unsigned r = 0; r < 4; ++r)
                        SetValue(RegisterNumber(r), before[r] = random());
                    const uint8_t hst = random() & 15;
                    const uint8_t carry = random() & 1;
                    Cpu.HST = hst;
                    Cpu.Carry = carry;
                    korvane::SetP(static_cast<uint8_t>(p));
                    StepIn(m, c.Opcode, decimal);
                    const Result expected = c.Model(before[c.Register]);
                    SCOPED_TRACE(c.Opcode + (decimal ? " decimal" : " hex") + " P=" + std::to_string(p));
                    for (unsigned r = 0; r < 4; ++r)
                        ASSERT_EQ(Value(RegisterNumber(r)), r == c.Register ? expected.Value : before[r]);
                    ASSERT_EQ(Cpu.HST, hst | (expected.SetsSb ? korvane::HstSB : 0));
                    ASSERT_EQ(Cpu.Carry, carry);
                    ASSERT_EQ(Cpu.P, p);
                    ASSERT_EQ(Cpu.PC, StepOrigin + c.Length);
                    ASSERT_EQ(Cpu.SliceCycles, c.Cost);
                }
            }
        }
    }
}

TEST(Rotates, EdgeValuesWrittenOutByHand)
{
    struct Edge {
        const char* Opcode;
        unsigned P;
        uint64_t Before;
        uint64_t After;
        uint8_t Hst;
    };
    const Edge edges[] = {
        {"81C", 0, 1, 0, korvane::HstSB}, // ASRB of 1
        {"81C", 0, 0x8000000000000000, 0x4000000000000000, 0}, // only bit 63
        {"814", 0, 0x0123456789ABCDE0, 0x00123456789ABCDE, 0}, // ASRC, nibble 0 is 0
        {"810", 0, 0xF000000000000001, 0x000000000000001F, 0}, // ASLC never sets SB
        {"81980", 0, 0x0000000000100000, 0x0000000000100000, 0}, // A: nibble 5 stays out
        {"81910", 15, 0x0000000100000000, 0x0000000080000000, 0}, // WP, P=15: crosses 8 to 7
        {"81940", 0, 0x3000000000000000, 0x1000000000000000, korvane::HstSB}, // S: nibble 15 halved
        {"81900", 9, 0x0000005300000000, 0x0000002300000000, korvane::HstSB}, // P: nibble 9 alone
        {"8085F", 0, 0, 0x8000, 0}, // ABIT=1 15
        {"80840", 0, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFE, 0}, // ABIT=0 0
    };
    Machine m;
    for (bool decimal : {false, true}) {
        for (const Edge& e : edges) {
            SetValue(Cpu.A, e.Before);
            Cpu.HST = 0;
            korvane::SetP(static_cast<uint8_t>(e.P));
            StepIn(m, e.Opcode, decimal);
            EXPECT_EQ(Value(Cpu.A), e.After) << e.Opcode << (decimal ? " decimal" : " hex");
            EXPECT_EQ(Cpu.HST, e.Hst) << e.Opcode;
        }
    }
}

} // namespace
