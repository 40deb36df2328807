#include <gtest/gtest.h>

#include <memory>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/decode/loads.h"
#include "tests/engine/decode/live_form.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;
using test::Program;
using namespace decode_test;

namespace {

void SetMode(bool decimal)
{
    if (decimal)
        korvane::SwitchToDecimal();
    else
        korvane::SwitchToHex();
}

TEST(Loads, PEqualsNSetsPAndItsShiftInBothModes)
{
    Machine m;
    for (bool decimal : {false, true}) {
        SetMode(decimal);
        for (unsigned n = 0; n < 16; ++n) {
            korvane::SetP(static_cast<uint8_t>(15 - n));
            Cpu.Carry = n & 1;
            Program p(0x00100);
            p.p(n);
            RunOne(m, p);
            EXPECT_EQ(Cpu.P, n);
            EXPECT_EQ(Cpu.PShift, 4 * n);
            EXPECT_EQ(Cpu.Carry, n & 1);
            EXPECT_EQ(Cpu.PC, 0x00102u);
            EXPECT_EQ(Cpu.SliceCycles, 12u);
        }
    }
}

TEST(Loads, LcWritesFromNibblePWrappingInBothModes)
{
    Machine m;
    std::mt19937_64 rng(0x3);
    for (bool decimal : {false, true}) {
        SetMode(decimal);
        for (unsigned p = 0; p < 16; ++p) {
            for (unsigned n = 1; n <= 16; ++n) {
                SCOPED_TRACE(::testing::Message() << "decimal " << decimal << " P " << p << " N " << n);
                Nibbles model = RandomNibbles(rng);
                SetLive(Cpu.C, model);
                const auto stale = Stale(Cpu.C);
                korvane::SetP(static_cast<uint8_t>(p));
                const uint64_t operand = rng();

                Program prog(0x00200);
                prog.lc(n, operand);
                prog.imm(rng(), 16); // whatever follows must not be read into C
                m.place(prog);
                const uint32_t tagged = 0x00202 + static_cast<uint32_t>(rng() % n);
                m.Rom[tagged] |= korvane::BreakpointTag; // operands are read without the tag
                Cpu.PC = prog.origin();
                Cpu.SliceCycles = 0;
                m.step();
                m.Rom[tagged] &= 0x0F;

                for (unsigned i = 0; i < n; ++i)
                    model[(p + i) % 16] = (operand >> (4 * i)) & 15;
                EXPECT_EQ(Live(Cpu.C), model);
                EXPECT_EQ(Stale(Cpu.C), stale);
                EXPECT_EQ(Cpu.P, p);
                EXPECT_EQ(Cpu.PC, 0x00202u + n);
                EXPECT_EQ(Cpu.SliceCycles, 12 + 4 * n);
            }
        }
    }
}

TEST(Loads, HandWorkedLcAcrossTheSeamAndTheWrap)
{
    Machine m;
    Program p(0x00100);
    p.p(5).lc(16, 0xFEDCBA9876543210);
    p.p(7).lc(3, 0x321);
    p.p(15).lc(2, 0x87);
    m.load(p);
    m.step(2);
    EXPECT_EQ(test::Value(Cpu.C), 0xA9876543210FEDCBu); // operand nibble 11 lands in nibble 0
    test::SetValue(Cpu.C, 0);
    m.step(2);
    EXPECT_EQ(test::Value(Cpu.C), 0x0000003210000000u);
    test::SetValue(Cpu.C, ~uint64_t{0});
    m.step(2);
    EXPECT_EQ(test::Value(Cpu.C), 0x7FFFFFFFFFFFFFF8u);
}

// LA reaches the loaders directly: each reads exactly its N bytes (a buffer of
// that size, so that the sanitizer sees any read beyond) and writes only the
// packed form.
TEST(Loads, EveryLoaderWritesItsNibblesAndReadsNoFurther)
{
    std::mt19937_64 rng(0x256);
    for (unsigned p = 0; p < 16; ++p) {
        for (unsigned n = 1; n <= 16; ++n) {
            korvane::NibbleRegister r{};
            const uint64_t before = rng();
            r.PackedLow = static_cast<uint32_t>(before);
            r.PackedHigh = static_cast<uint32_t>(before >> 32);
            for (unsigned k = 0; k < 16; ++k)
                r.Nibbles[k] = static_cast<uint8_t>(0x40 + k);
            auto bytes = std::make_unique<uint8_t[]>(n);
            Nibbles model = FromValue(before);
            for (unsigned i = 0; i < n; ++i) {
                bytes[i] = static_cast<uint8_t>(rng() & 0x1F);
                model[(p + i) % 16] = bytes[i] & 15;
            }
            korvane::LoadNibblesTable[(p << 4) | (n - 1)](&r, bytes.get());
            EXPECT_EQ(uint64_t{r.PackedHigh} << 32 | r.PackedLow, ToValue(model)) << "P " << p << " N " << n;
            for (unsigned k = 0; k < 16; ++k)
                ASSERT_EQ(r.Nibbles[k], 0x40 + k);
        }
    }
}

} // namespace
