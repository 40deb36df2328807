// ?ABIT=0, ?ABIT=1, ?CBIT=0 and ?CBIT=1 (8086n, 8087n, 808An, 808Bn).
#include <gtest/gtest.h>

#include <cstdio>

#include "engine/core/cpu_state.h"
#include "tests/engine/group8-9/register_model.h"

using korvane::Cpu;

namespace {

TEST(BitTests, EveryBitOfAAndCInBothModes)
{
    const uint64_t values[] = {0, ~0ull, 0x8000, 0x0001, 0xFFFFFFFFFFFF0000, 0x123456789ABC5A3C};
    const char kinds[] = {'6', '7', 'A', 'B'}; // A clear, A set, C clear, C set
    test::Machine m;
    for (bool decimal : {false, true}) {
        test::EnterMode(decimal);
        for (uint64_t value : values) {
            for (unsigned kind = 0; kind < 4; ++kind) {
                const bool onC = kind >= 2;
                // The register not tested holds the complement.
                test::LoadLive(Cpu.A, onC ? ~value : value, decimal);
                test::LoadLive(Cpu.C, onC ? value : ~value, decimal);
                for (unsigned n = 0; n < 16; ++n) {
                    char opcode[6];
                    std::snprintf(opcode, sizeof opcode, "808%c%X", kinds[kind], n);
                    const bool set = (value >> n) & 1;
                    EXPECT_TRUE(test::StepTest(m, opcode, set == (kind & 1), 50)) << std::hex << value;
                }
            }
        }
    }
}

} // namespace
