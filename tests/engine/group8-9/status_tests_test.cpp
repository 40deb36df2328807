// ?HST=0 n, ?ST=0 n, ?ST=1 n, ?P# n and ?P= n over every n, in both modes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/register_model.h"

using korvane::Cpu;

namespace {

std::string Opcode(unsigned second, unsigned n)
{
    char text[8];
    std::snprintf(text, sizeof text, "8%X%X", second, n);
    return text;
}

TEST(StatusTests, EveryNAgainstEveryState)
{
    const uint16_t stPatterns[] = {0x0000, 0xFFFF, 0x8000, 0xA5C3};
    for (bool decimal : {false, true}) {
        test::Machine m;
        test::EnterMode(decimal);
        for (unsigned v = 0; v < 16; ++v) {
            for (unsigned n = 0; n < 16; ++n) {
                Cpu.HST = static_cast<uint8_t>(v); // XM 1, SB 2, SR 4, MP 8
                const bool noneSet = !((v & 1) && (n & 1)) && !((v & 2) && (n & 2)) && !((v & 4) && (n & 4)) &&
                                     !((v & 8) && (n & 8));
                EXPECT_TRUE(test::StepTest(m, Opcode(0x3, n), noneSet, 30)) << "HST " << v;
                korvane::SetP(static_cast<uint8_t>(v));
                EXPECT_TRUE(test::StepTest(m, Opcode(0x8, n), v != n, 30));
                EXPECT_TRUE(test::StepTest(m, Opcode(0x9, n), v == n, 30));
                Cpu.ST = stPatterns[v & 3];
                const bool set = (stPatterns[v & 3] >> n) & 1;
                EXPECT_TRUE(test::StepTest(m, Opcode(0x6, n), !set, 34)) << std::hex << Cpu.ST;
                EXPECT_TRUE(test::StepTest(m, Opcode(0x7, n), set, 34)) << std::hex << Cpu.ST;
            }
        }
    }
}

} // namespace
