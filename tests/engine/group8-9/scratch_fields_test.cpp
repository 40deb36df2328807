// 81Afon against a nibble model of A, C and R0-R7, in both modes, with P
// on both sides of the word seam.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "tests/support/field_model.h"

using korvane::Cpu;

namespace {

// Register code n: C when bit 3 is set; 5-7 stand for R1-R3 again.
constexpr unsigned ScratchOfCode[8] = {0, 1, 2, 3, 4, 1, 2, 3};

TEST(ScratchFields, EveryFieldOperationAndRegisterCodeMatchesTheModel)
{
    std::mt19937_64 random(0x5EED);
    test::Machine m;
    for (bool decimal : {false, true}) {
        test::EnterMode(decimal);
        for (unsigned p : {0u, 3u, 7u, 8u, 15u}) {
            const uint64_t a = random(), c = random();
            std::array<uint64_t, 8> r;
            for (uint64_t& value : r)
                value = random();
            for (unsigned f = 0; f < 16; ++f) {
                for (unsigned o = 0; o < 3; ++o) { // to R, from R, exchange
                    for (unsigned n = 0; n < 16; ++n) {
                        test::Program prog(0x01000);
                        m.load(prog.op("81A").imm(f, 1).imm(o, 1).imm(n, 1));
                        test::LoadLive(Cpu.A, a, decimal);
                        test::LoadLive(Cpu.C, c, decimal);
                        for (unsigned i = 0; i < 8; ++i)
                            Cpu.R[i] = {static_cast<uint32_t>(r[i]), static_cast<uint32_t>(r[i] >> 32)};
                        korvane::SetP(static_cast<uint8_t>(p));
                        Cpu.Carry = 1;
                        Cpu.SliceCycles = 0;
                        m.step();

                        const test::FieldRange field = test::RangeOfField(f >= 8 ? 8 : f, p);
                        uint64_t work = (n & 8) ? c : a;
                        std::array<uint64_t, 8> expectedR = r, actualR;
                        uint64_t& scratch = expectedR[ScratchOfCode[n & 7]];
                        for (unsigned k = field.Low; k <= field.High; ++k) {
                            const uint64_t mask = uint64_t{15} << (4 * k), w = work & mask, s = scratch & mask;
                            scratch = o != 1 ? (scratch & ~mask) | w : scratch;
                            work = o != 0 ? (work & ~mask) | s : work;
                        }
                        for (unsigned i = 0; i < 8; ++i)
                            actualR[i] = uint64_t{Cpu.R[i].High} << 32 | Cpu.R[i].Low;
                        ASSERT_EQ(std::tuple(test::LiveOf(Cpu.A, decimal), test::LiveOf(Cpu.C, decimal), actualR,
                                             Cpu.PC, Cpu.SliceCycles, Cpu.Carry),
                                  std::tuple((n & 8) ? a : work, (n & 8) ? work : c, expectedR, 0x01006u,
                                             36 + 4 * (field.High - field.Low + 1), uint8_t{1}))
                            << "81A" << std::hex << f << o << n << (decimal ? " dec" : " hex") << " P=" << p;
                        ASSERT_TRUE(test::StaleUntouched(Cpu.A, decimal) && test::StaleUntouched(Cpu.C, decimal));
                    }
                }
            }
        }
    }
}

} // namespace
