#include "tests/support/machine_model.h"

namespace {

using namespace model;

// 10x Rn=r, 11x r=Rn, 12x rRnEX. The scratch registers are packed in both
// modes: a decimal-mode transfer packs and unpacks on the way.
TEST(ScratchTransfers, EveryOpcodeMatchesTheModelInBothModes)
{
    Sweep(48, [](unsigned i, test::Program& code, State& s) {
        const unsigned g = i >> 4, x = i & 15;
        code.op("1").imm(g, 1).imm(x, 1);
        Nibbles& w = s.R[x < 8 ? 0 : 2];
        // Five scratch registers: 5-7 name R1-R3 again.
        korvane::ScratchRegister& r = s.Cpu.R[(x & 7) > 4 ? (x & 7) - 4 : x & 7];
        const uint64_t held = uint64_t{r.High} << 32 | r.Low, value = ToValue(w);
        if (g != 1)
            r = {static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32)};
        if (g != 0)
            w = FromValue(held);
        s.advance(3, 82);
    }, SomeP, 4);
}

} // namespace
