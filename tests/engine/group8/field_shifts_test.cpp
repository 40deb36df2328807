#include "tests/support/machine_model.h"

namespace {

using namespace model;

// 819fs rSRB.f on every field and register, random registers and every P:
// the field is one number, each nibble's bit 0 enters bit 3 of the one
// below; SB is set when a 1 leaves the bottom and never cleared.
TEST(FieldShifts, EveryMemberMatchesTheNibbleModel)
{
    Sweep(64, [](unsigned i, test::Program& code, State& s) {
        const unsigned f = i >> 2;
        code.op("819").imm(f, 1).imm(i & 3, 1);
        const auto [low, high] = FieldRange(f, s.Cpu.P);
        Nibbles& n = s.R[i & 3];
        if (n[low] & 1)
            s.Cpu.HST |= korvane::HstSB;
        for (unsigned k = low; k <= high; ++k)
            n[k] = static_cast<uint8_t>(n[k] >> 1 | (k < high ? n[k + 1] & 1 : 0) << 3);
        s.advance(5, 34 + 4 * (high - low + 1));
    }, EveryP, 2);
}

} // namespace
