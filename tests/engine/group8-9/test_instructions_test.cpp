#include "tests/support/machine_model.h"

namespace {

using namespace model;

// The outcome goes to Carry; a true one jumps by the signed offset byte from
// the offset field, or returns on offset 00, and costs 32 more.
void Outcome(State& s, bool yes, uint32_t length, uint32_t offset, uint32_t cost)
{
    s.Cpu.Carry = yes;
    if (!yes)
        return s.advance(length + 2, cost);
    s.Cpu.PC = offset ? (Origin + length + (offset ^ 0x80) - 0x80) & 0xFFFFF : s.pop(Origin + length);
    s.Cpu.SliceCycles = cost + 32;
}

// 83n ?HST=0 n, 86n ?ST=0 n, 87n ?ST=1 n, 88n ?P# n, 89n ?P= n, 8086n-808Bn
// ?ABIT=0, ?ABIT=1, ?CBIT=0, ?CBIT=1 for every n and P; then 9ab, equality
// and zero tests for a 0-7 and unsigned order for a 8-F on field a AND 7,
// and 8Ab and 8Bb, the same on field A. Offsets random, 00 now and then.
TEST(TestInstructions, EveryTestMatchesTheModel)
{
    std::mt19937_64 rng(9);
    Sweep(144 + 288, [&rng](unsigned i, test::Program& code, State& s) {
        const uint32_t offset = rng() % 4 ? rng() & 0xFF : 0;
        const unsigned n = i & 15;
        if (i < 144) {
            const unsigned kind = i >> 4; // 3 6 7 8 9, then 808 6 7 A B
            constexpr unsigned Second[9] = {3, 6, 7, 8, 9, 6, 7, 0xA, 0xB};
            code.op(kind < 5 ? "8" : "808").imm(Second[kind], 1).imm(n, 1).imm(offset, 2);
            const korvane::CpuState& c = s.Cpu;
            const bool st = c.ST >> n & 1, bit = s.R[kind < 7 ? 0 : 2][n / 4] >> (n % 4) & 1;
            const bool yes[9] = {(c.HST & n) == 0, !st, st, c.P != n, c.P == n, !bit, bit, !bit, bit};
            return Outcome(s, yes[kind], kind < 5 ? 3 : 5, offset, kind < 3 ? (kind ? 34 : 30) : kind < 5 ? 30 : 50);
        }
        const unsigned a = (i - 144) >> 4; // 0-15: 9a, 16 and 17: 8A, 8B
        code.op(a < 16 ? "9" : "8").imm(a < 16 ? a : a - 6, 1).imm(n, 1).imm(offset, 2);
        const auto [low, high] = FieldRange(a < 16 ? a & 7 : 8, s.Cpu.P);
        uint64_t x = 0, y = 0;
        for (unsigned k = high + 1; k-- > low;) {
            x = x << 4 | s.R[Pairs[n & 3][0]][k];
            y = y << 4 | s.R[Pairs[n & 3][1]][k];
        }
        const bool yes[2][4] = {{x == y, x != y, x == 0, x != 0}, {x > y, x < y, x >= y, x <= y}};
        Outcome(s, yes[a < 16 ? a >= 8 : a == 17][n >> 2], 3, offset, 34 + 4 * (high - low + 1));
    }, EveryP, 4);
}

} // namespace
