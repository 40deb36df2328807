#include "tests/support/machine_model.h"

namespace {

using namespace model;

// P=n for every n, and LC with every count from every P, wrapping from
// nibble 15 to 0.
TEST(Loads, PEqualsAndLcMatchTheModelInBothModes)
{
    std::mt19937_64 rng(3);
    Sweep(32, [&rng](unsigned i, test::Program& code, State& s) {
        const unsigned n = i & 15;
        if (i < 16) {
            code.p(n);
            s.Cpu.P = static_cast<uint8_t>(n);
            return s.advance(2, 12);
        }
        const uint64_t operand = rng();
        code.lc(n + 1, operand);
        for (unsigned k = 0; k <= n; ++k)
            s.R[2][(s.Cpu.P + k) % 16] = operand >> (4 * k) & 15;
        s.advance(3 + n, 16 + 4 * n);
    }, EveryP, 4);
}

} // namespace
