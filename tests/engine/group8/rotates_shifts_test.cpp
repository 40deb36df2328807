#include "tests/support/machine_model.h"

namespace {

using namespace model;

// 810-817 rSLC and rSRC and 81C-81F rSRB on random registers and every P:
// only the register named changes, SB is set when a nonzero nibble or bit
// leaves the bottom and never cleared, and Carry and the other HST bits stay.
TEST(RotatesShifts, EveryMemberMatchesTheNibbleModel)
{
    Sweep(12, [](unsigned i, test::Program& code, State& s) {
        const unsigned x = i < 8 ? i : i + 4;
        code.op("81").imm(x, 1);
        Nibbles& r = s.R[x & 3];
        const uint64_t v = ToValue(r);
        if (x < 4 ? false : x < 8 ? (v & 15) != 0 : (v & 1) != 0)
            s.Cpu.HST |= korvane::HstSB;
        r = FromValue(x < 4 ? v << 4 | v >> 60 : x < 8 ? v >> 4 | v << 60 : v >> 1);
        s.advance(3, x < 8 ? 90 : 86);
    }, EveryP, 2);
}

} // namespace
