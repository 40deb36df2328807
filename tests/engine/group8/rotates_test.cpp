#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "tests/engine/group8/single_step.h"

using korvane::Cpu;
using namespace test;

namespace {

struct Result {
    uint64_t Value;
    bool SetsSb;
};

struct Case {
    std::string Opcode;
    unsigned Register; // 0-3: A-D
    uint32_t Length;
    uint32_t Cost;
    std::function<Result(uint64_t)> Model;
};

// Nibble span of each field code at pointer p; 8 to F all mean A.
void FieldSpan(unsigned code, unsigned p, unsigned& low, unsigned& high)
{
    static const unsigned spans[9][2] = {{0, 0}, {0, 0}, {2, 2}, {0, 2}, {15, 15}, {3, 14}, {0, 1}, {0, 15}, {0, 4}};
    const unsigned i = code > 8 ? 8 : code;
    low = i == 0 ? p : spans[i][0];
    high = i <= 1 ? p : spans[i][1];
}

// Every instruction of the family with its model, for pointer p.
std::vector<Case> Cases(unsigned p)
{
    std::vector<Case> cases;
    for (unsigned r = 0; r < 4; ++r) {
        const std::string op81 = std::string("81");
        cases.push_back({op81 + Digits[r], r, 3, 90, [](uint64_t v) { return Result{v << 4 | v >> 60, false}; }});
        cases.push_back(
            {op81 + Digits[4 + r], r, 3, 90, [](uint64_t v) { return Result{v >> 4 | v << 60, (v & 15) != 0}; }});
        cases.push_back({op81 + Digits[12 + r], r, 3, 86, [](uint64_t v) { return Result{v >> 1, (v & 1) != 0}; }});
        for (unsigned f = 0; f < 16; ++f) {
            unsigned low, high;
            FieldSpan(f, p, low, high);
            cases.push_back({op81 + '9' + Digits[f] + Digits[r], r, 5, 34 + 4 * (high - low + 1),
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
    const char* const bitOps[4] = {"8084", "8085", "8088", "8089"}; // ABIT=0, ABIT=1, CBIT=0, CBIT=1
    for (unsigned kind = 0; kind < 4; ++kind) {
        for (unsigned bit = 0; bit < 16; ++bit) {
            const uint64_t mask = uint64_t{1} << bit;
            const bool set = kind & 1;
            cases.push_back({bitOps[kind] + std::string(1, Digits[bit]), kind < 2 ? 0u : 2u, 5, 30,
                             [set, mask](uint64_t v) { return Result{set ? v | mask : v & ~mask, false}; }});
        }
    }
    return cases;
}

// Both members against the model on random registers and every P: only the
// register named changes, SB is set when the model says and never cleared,
// and neither the other HST bits nor Carry move.
TEST(Rotates, EveryMemberMatchesTheNibbleModelOnRandomRegistersAndEveryP)
{
    Machine m;
    std::mt19937_64 random(0x5A7C0DE);
    korvane::NibbleRegister* const registers[] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    for (bool decimal : {false, true}) {
        for (unsigned p = 0; p < 16; ++p) {
            for (unsigned trial = 0; trial < 3; ++trial) {
                for (const Case& c : Cases(p)) {
                    uint64_t before[4];
                    for (unsigned r = 0; r < 4; ++r)
                        SetValue(*registers[r], before[r] = random());
                    const uint8_t hst = random() & 15;
                    const uint8_t carry = random() & 1;
                    Cpu.HST = hst;
                    Cpu.Carry = carry;
                    korvane::SetP(static_cast<uint8_t>(p));
                    StepIn(m, c.Opcode, decimal);
                    const Result expected = c.Model(before[c.Register]);
                    SCOPED_TRACE(c.Opcode + (decimal ? " decimal" : " hex") + " P=" + std::to_string(p));
                    for (unsigned r = 0; r < 4; ++r)
                        ASSERT_EQ(Value(*registers[r]), r == c.Register ? expected.Value : before[r]);
                    ASSERT_EQ(Cpu.HST, hst | (expected.SetsSb ? korvane::HstSB : 0));
                    ASSERT_EQ(Cpu.Carry, carry);
                    ASSERT_EQ(Cpu.PC, StepOrigin + c.Length);
                    ASSERT_EQ(Cpu.SliceCycles, c.Cost);
                }
            }
        }
    }
}

} // namespace
