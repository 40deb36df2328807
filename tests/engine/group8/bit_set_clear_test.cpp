#include "tests/support/machine_model.h"

namespace {

using namespace model;

// 8084n ABIT=0, 8085n ABIT=1, 8088n CBIT=0 and 8089n CBIT=1 for every bit,
// on random registers and every P: only the bit named changes, no flag.
TEST(BitSetClear, EveryMemberMatchesTheNibbleModel)
{
    Sweep(64, [](unsigned i, test::Program& code, State& s) {
        const unsigned kind = i >> 4, bit = i & 15; // ABIT=0, ABIT=1, CBIT=0, CBIT=1
        code.op("808").imm(kind < 2 ? 4 + kind : 6 + kind, 1).imm(bit, 1);
        Nibbles& r = s.R[kind < 2 ? 0 : 2];
        const uint64_t mask = uint64_t{1} << bit, v = ToValue(r);
        r = FromValue(kind & 1 ? v | mask : v & ~mask);
        s.advance(5, 30);
    }, EveryP, 2);
}

} // namespace
