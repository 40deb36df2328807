#include "tests/support/machine_model.h"

namespace {

using namespace model;

// 810-817 rSLC and rSRC, 81C-81F rSRB, 819fs rSRB.f on every field (the
// field is one number: each nibble's bit 0 enters bit 3 of the one below),
// and 8084n ABIT=0, 8085n ABIT=1, 8088n CBIT=0, 8089n CBIT=1 for every bit.
// Only the register named changes; SB is set when a nonzero nibble or bit
// leaves the bottom and never cleared; Carry and the other HST bits stay.
TEST(RotatesShifts, EveryMemberMatchesTheNibbleModel)
{
    Sweep(12 + 64 + 64, [](unsigned i, test::Program& code, State& s) {
        if (i < 12) {
            const unsigned x = i < 8 ? i : i + 4;
            code.op("81").imm(x, 1);
            Nibbles& r = s.R[x & 3];
            const uint64_t v = ToValue(r);
            if (x < 4 ? false : x < 8 ? (v & 15) != 0 : (v & 1) != 0)
                s.Cpu.HST |= korvane::HstSB;
            r = FromValue(x < 4 ? v << 4 | v >> 60 : x < 8 ? v >> 4 | v << 60 : v >> 1);
            return s.advance(3, x < 8 ? 90 : 86);
        }
        if (i < 12 + 64) {
            const unsigned f = (i - 12) >> 2;
            code.op("819").imm(f, 1).imm(i & 3, 1);
            const auto [low, high] = FieldRange(f, s.Cpu.P);
            Nibbles& n = s.R[i & 3];
            if (n[low] & 1)
                s.Cpu.HST |= korvane::HstSB;
            for (unsigned k = low; k <= high; ++k)
                n[k] = static_cast<uint8_t>(n[k] >> 1 | (k < high ? n[k + 1] & 1 : 0) << 3);
            return s.advance(5, 34 + 4 * (high - low + 1));
        }
        const unsigned kind = (i - 12 - 64) >> 4, bit = i & 15; // ABIT=0, ABIT=1, CBIT=0, CBIT=1
        code.op("808").imm(kind < 2 ? 4 + kind : 6 + kind, 1).imm(bit, 1);
        Nibbles& r = s.R[kind < 2 ? 0 : 2];
        const uint64_t mask = uint64_t{1} << bit, v = ToValue(r);
        r = FromValue(kind & 1 ? v | mask : v & ~mask);
        s.advance(5, 30);
    }, EveryP, 2);
}

} // namespace
