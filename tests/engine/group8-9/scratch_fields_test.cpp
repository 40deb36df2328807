// 81Afon against a nibble model of A, C and R0-R7, in both modes, with P
// on both sides of the word seam.
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/register_model.h"

using korvane::Cpu;

namespace {

uint64_t ScratchOf(unsigned i)
{
    return uint64_t{Cpu.R[i].High} << 32 | Cpu.R[i].Low;
}

// Register code n: C when bit 3 is set; 5-7 stand for R1-R3 again.
constexpr unsigned ScratchOfCode[8] = {0, 1, 2, 3, 4, 1, 2, 3};

TEST(ScratchFields, EveryFieldOperationAndRegisterCodeMatchesTheModel)
{
    uint64_t seed = 0x5EED;
    test::Machine m;
    for (bool decimal : {false, true}) {
        test::EnterMode(decimal);
        for (unsigned p : {0u, 3u, 7u, 8u, 15u}) {
            const uint64_t a = test::NextRandom(seed), c = test::NextRandom(seed);
            uint64_t r[8];
            for (uint64_t& value : r)
                value = test::NextRandom(seed);
            for (unsigned f = 0; f < 16; ++f) {
                for (unsigned o = 0; o < 3; ++o) {
                    for (unsigned n = 0; n < 16; ++n) {
                        char opcode[8];
                        std::snprintf(opcode, sizeof opcode, "81A%X%X%X", f, o, n);
                        test::Program prog(0x01000);
                        prog.op(opcode);
                        m.load(prog);
                        test::LoadLive(Cpu.A, a, decimal);
                        test::LoadLive(Cpu.C, c, decimal);
                        for (unsigned i = 0; i < 8; ++i)
                            Cpu.R[i] = {static_cast<uint32_t>(r[i]), static_cast<uint32_t>(r[i] >> 32)};
                        korvane::SetP(static_cast<uint8_t>(p));
                        Cpu.Carry = 1;
                        Cpu.SliceCycles = 0;
                        m.step();

                        // The model: move nibble by nibble over the field.
                        const test::FieldRange field = test::RangeOfField(f >= 8 ? 8 : f, p);
                        const unsigned ri = ScratchOfCode[n & 7];
                        uint64_t work = (n & 8) ? c : a;
                        uint64_t scratch = r[ri];
                        for (unsigned k = field.Low; k <= field.High; ++k) {
                            const uint64_t mask = uint64_t{15} << (4 * k);
                            const uint64_t w = work & mask, s = scratch & mask;
                            if (o != 1)
                                scratch = (scratch & ~mask) | w;
                            if (o != 0)
                                work = (work & ~mask) | s;
                        }
                        SCOPED_TRACE(testing::Message() << opcode << (decimal ? " dec" : " hex") << " P=" << p);
                        ASSERT_EQ(test::LiveOf(Cpu.A, decimal), (n & 8) ? a : work);
                        ASSERT_EQ(test::LiveOf(Cpu.C, decimal), (n & 8) ? work : c);
                        ASSERT_TRUE(test::StaleUntouched(Cpu.A, a, decimal));
                        ASSERT_TRUE(test::StaleUntouched(Cpu.C, c, decimal));
                        for (unsigned i = 0; i < 8; ++i)
                            ASSERT_EQ(ScratchOf(i), i == ri ? scratch : r[i]) << "R" << i;
                        ASSERT_EQ(Cpu.PC, 0x01006u);
                        ASSERT_EQ(Cpu.SliceCycles, 36 + 4 * (field.High - field.Low + 1));
                        ASSERT_EQ(Cpu.Carry, 1);
                    }
                }
            }
        }
    }
}

} // namespace
