// 81Afon against a nibble model of A, C and R0-R7, in both modes.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/register_model.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;
using test::Program;

namespace {

using Nibbles = std::array<uint8_t, 16>;

Nibbles Split(uint64_t value)
{
    Nibbles n{};
    for (unsigned k = 0; k < 16; ++k)
        n[k] = static_cast<uint8_t>(test::NibbleOf(value, k));
    return n;
}

uint64_t Join(const Nibbles& n)
{
    uint64_t value = 0;
    for (unsigned k = 16; k-- > 0;)
        value = value << 4 | n[k];
    return value;
}

uint64_t ScratchOf(unsigned i)
{
    return uint64_t{Cpu.R[i].High} << 32 | Cpu.R[i].Low;
}

// Register code n: C when bit 3 is set; the low three bits pick the
// scratch register, 5-7 standing for R1-R3.
constexpr unsigned ScratchOfCode[8] = {0, 1, 2, 3, 4, 1, 2, 3};

struct Start {
    uint64_t A, B, C, D;
    uint64_t R[8];
};

Start MakeStart(test::Lcg& rng)
{
    Start s{};
    s.A = rng.next();
    s.B = rng.next();
    s.C = rng.next();
    s.D = rng.next();
    for (uint64_t& r : s.R)
        r = rng.next();
    return s;
}

void Apply(const Start& s, bool decimal, unsigned p)
{
    test::EnterMode(decimal);
    test::LoadLive(Cpu.A, s.A, decimal);
    test::LoadLive(Cpu.B, s.B, decimal);
    test::LoadLive(Cpu.C, s.C, decimal);
    test::LoadLive(Cpu.D, s.D, decimal);
    for (unsigned i = 0; i < 8; ++i) {
        Cpu.R[i].Low = static_cast<uint32_t>(s.R[i]);
        Cpu.R[i].High = static_cast<uint32_t>(s.R[i] >> 32);
    }
    korvane::SetP(static_cast<uint8_t>(p));
    Cpu.Carry = 1;
    Cpu.SliceCycles = 0;
}

// Runs 81Afon at 0x01000 and compares every register with the model.
void CheckTransfer(Machine& m, const Start& s, bool decimal, unsigned p, unsigned f, unsigned o, unsigned n)
{
    char opcode[8];
    std::snprintf(opcode, sizeof opcode, "81A%X%X%X", f, o, n);
    Program prog(0x01000);
    prog.op(opcode);
    m.load(prog);
    Apply(s, decimal, p);
    m.step();

    const test::FieldRange field = test::RangeOfField(f >= 8 ? 8 : f, p);
    const bool useC = (n & 8) != 0;
    const unsigned ri = ScratchOfCode[n & 7];
    Nibbles work = Split(useC ? s.C : s.A);
    Nibbles scratch = Split(s.R[ri]);
    for (unsigned k = field.Low; k <= field.High; ++k) {
        const uint8_t w = work[k];
        const uint8_t r = scratch[k];
        if (o != 1)
            scratch[k] = w;
        if (o != 0)
            work[k] = r;
    }
    const uint64_t expectA = useC ? s.A : Join(work);
    const uint64_t expectC = useC ? Join(work) : s.C;

    SCOPED_TRACE(testing::Message() << opcode << (decimal ? " dec" : " hex") << " P=" << p);
    ASSERT_EQ(test::Hex(test::LiveOf(Cpu.A, decimal)), test::Hex(expectA));
    ASSERT_EQ(test::Hex(test::LiveOf(Cpu.C, decimal)), test::Hex(expectC));
    ASSERT_TRUE(test::StaleUntouched(Cpu.A, s.A, decimal));
    ASSERT_TRUE(test::StaleUntouched(Cpu.C, s.C, decimal));
    ASSERT_EQ(test::LiveOf(Cpu.B, decimal), s.B);
    ASSERT_EQ(test::LiveOf(Cpu.D, decimal), s.D);
    for (unsigned i = 0; i < 8; ++i)
        ASSERT_EQ(test::Hex(ScratchOf(i)), test::Hex(i == ri ? Join(scratch) : s.R[i])) << "R" << i;
    ASSERT_EQ(Cpu.PC, 0x01006u);
    ASSERT_EQ(Cpu.SliceCycles, 36 + 4 * (field.High - field.Low + 1));
    ASSERT_EQ(Cpu.Carry, 1);
    ASSERT_EQ(Cpu.P, p);
}

TEST(ScratchFields, EveryFieldOperationAndRegisterCodeMatchesTheModel)
{
    test::Lcg rng{0x5EED};
    Machine m;
    for (bool decimal : {false, true}) {
        for (unsigned p : {0u, 3u, 7u, 8u, 15u}) {
            const Start s = MakeStart(rng);
            for (unsigned f = 0; f < 16; ++f) {
                for (unsigned o = 0; o < 3; ++o) {
                    for (unsigned n = 0; n < 16; ++n)
                        ASSERT_NO_FATAL_FAILURE(CheckTransfer(m, s, decimal, p, f, o, n));
                }
            }
        }
    }
}

TEST(ScratchFields, WordSeamAndCostOfWp)
{
    struct Case {
        unsigned P;
        uint64_t R0;   // R0 after R0=A.WP from A = all F, R0 = 0
        uint32_t Cost;
    };
    const Case cases[] = {
        {0, 0x000000000000000F, 40},
        {7, 0x00000000FFFFFFFF, 68},
        {8, 0x0000000FFFFFFFFF, 72},
        {15, 0xFFFFFFFFFFFFFFFF, 100},
    };
    for (bool decimal : {false, true}) {
        for (const Case& c : cases) {
            Machine m;
            Program prog(0x01000);
            prog.op("81A100");
            m.load(prog);
            test::EnterMode(decimal);
            test::LoadLive(Cpu.A, ~uint64_t{0}, decimal);
            korvane::SetP(static_cast<uint8_t>(c.P));
            m.step();
            EXPECT_EQ(test::Hex(ScratchOf(0)), test::Hex(c.R0)) << "P=" << c.P;
            EXPECT_EQ(Cpu.SliceCycles, c.Cost);
        }
    }
}

TEST(ScratchFields, DecimalCopyOutWritesOneNibbleIntoOneByte)
{
    Machine m;
    Program prog(0x01000);
    prog.op("81A012"); // A=R2.P
    m.load(prog);
    test::EnterMode(true);
    test::LoadLive(Cpu.A, 0, true);
    Cpu.R[2].Low = 0x1234A678; // nibble 3 is A, flanked by 6 and 4
    korvane::SetP(3);
    m.step();
    for (unsigned k = 0; k < 16; ++k)
        EXPECT_EQ(Cpu.A.Nibbles[k], k == 3 ? 0xA : 0) << k;

    Program ex(0x01000);
    ex.op("81A022"); // AR2EX.P
    m.load(ex);
    Cpu.A.Nibbles[3] = 0x5;
    m.step();
    EXPECT_EQ(Cpu.A.Nibbles[3], 0xA);
    EXPECT_EQ(Cpu.R[2].Low, 0x12345678u);
}

TEST(ScratchFields, UndefinedOperationsChangeNothing)
{
    test::Lcg rng{7};
    Machine m;
    const Start s = MakeStart(rng);
    for (unsigned o = 3; o < 16; ++o) {
        for (unsigned f : {0u, 7u, 8u, 15u}) {
            for (unsigned n : {0u, 5u, 12u, 15u}) {
                char opcode[8];
                std::snprintf(opcode, sizeof opcode, "81A%X%X%X", f, o, n);
                Program prog(0x01000);
                prog.op(opcode);
                m.load(prog);
                Apply(s, false, 5);
                m.step();
                EXPECT_EQ(Cpu.PC, 0x01000u) << opcode;
                EXPECT_EQ(Cpu.SliceCycles, 0u) << opcode;
                EXPECT_EQ(test::PackedOf(Cpu.A), s.A);
                EXPECT_EQ(test::PackedOf(Cpu.C), s.C);
                for (unsigned i = 0; i < 8; ++i)
                    EXPECT_EQ(ScratchOf(i), s.R[i]);
            }
        }
    }
}

} // namespace
