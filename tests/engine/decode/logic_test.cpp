#include "tests/support/machine_model.h"

namespace {

using namespace model;

// 0Efo: every field code and operation; Carry stays.
TEST(AndOr, EveryFieldAndOperationMatchesTheModelInBothModes)
{
    Sweep(256, [](unsigned i, test::Program& code, State& s) {
        const unsigned f = i >> 4, o = i & 15;
        code.op("0E").imm(f, 1).imm(o, 1);
        // (destination, source) by o & 3; o 4-7 and C-F swap them; o 8-F is OR.
        constexpr unsigned Pair[4][2] = {{0, 1}, {1, 2}, {2, 0}, {3, 2}};
        Nibbles& dst = s.R[Pair[o & 3][o >> 2 & 1]];
        const Nibbles& src = s.R[Pair[o & 3][(o >> 2 & 1) ^ 1]];
        const auto [low, high] = FieldRange(f, s.Cpu.P);
        for (unsigned k = low; k <= high; ++k)
            dst[k] = o & 8 ? dst[k] | src[k] : dst[k] & src[k];
        s.advance(4, 24 + 4 * (high - low + 1));
    }, SomeP, 2);
}

} // namespace
