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

// 81Afon: field f (8-F: A) of A or C (n bit 3) to, from or exchanged with
// the same field of R0-R4 (n AND 7; 5-7 name R1-R3 again).
TEST(ScratchFields, EveryFieldOperationAndRegisterCodeMatchesTheModel)
{
    Sweep(16 * 3 * 16, [](unsigned i, test::Program& code, State& s) {
        const unsigned f = i / 48, o = i / 16 % 3, n = i & 15;
        code.op("81A").imm(f, 1).imm(o, 1).imm(n, 1);
        korvane::ScratchRegister& r = s.Cpu.R[(n & 7) > 4 ? (n & 7) - 4 : n & 7];
        Nibbles& work = s.R[n & 8 ? 2 : 0];
        Nibbles scratch = FromValue(uint64_t{r.High} << 32 | r.Low);
        const auto [low, high] = FieldRange(f, s.Cpu.P);
        for (unsigned k = low; k <= high; ++k) {
            const uint8_t held = scratch[k];
            scratch[k] = o != 1 ? work[k] : held;
            work[k] = o != 0 ? held : work[k];
        }
        const uint64_t value = ToValue(scratch);
        r = {static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32)};
        s.advance(6, 36 + 4 * (high - low + 1));
    }, {0, 3, 7, 8, 15});
}

// 81B8-81BB, values written out by hand: the others stay, Carry too.
TEST(MultiplyDivide, HandWorkedOperandsInBothModes)
{
    constexpr uint64_t MinusOne = ~0ull, Minimum = 0x8000000000000000;
    const struct { const char* Opcode; uint64_t C, A, Result; } cases[] = { // C before, A, C after
        {"81B8", MinusOne, MinusOne, 1},
        {"81B8", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFE00000001},
        {"81B8", 0x100000000, 0x100000000, 0},
        {"81B8", MinusOne, 7, 0xFFFFFFFFFFFFFFF9},
        {"81B9", 0xFEDCBA98765FFFFF, 0xFFFFF, 0xFEDCBA9876500001}, // C's upper nibbles stay
        {"81B9", 3, 0xFFFFFFFFFFF00004, 0xC},                      // A's upper nibbles ignored
        {"81B9", 0x1230000000001000, 0x1000, 0x1230000000000000},  // 0x1000000 cut to 20 bits
        {"81BA", 7, 0xFFFFFFFFFFFFFFFE, 0xFFFFFFFFFFFFFFFD},       // 7 / -2 = -3
        {"81BA", 0xFFFFFFFFFFFFFFF9, 2, 0xFFFFFFFFFFFFFFFD},       // -7 / 2 = -3
        {"81BA", 0xFFFFFFFFFFFFFFF9, 0xFFFFFFFFFFFFFFFE, 3},
        {"81BA", 0, 5, 0},
        {"81BA", 5, 0, 0x00000000FFFFFFFF},
        {"81BA", Minimum, MinusOne, Minimum}, // the one overflow
        {"81BA", Minimum, 2, 0xC000000000000000},
        {"81BB", 0xAAAAAAAAAAAFFFFF, 2, 0xAAAAAAAAAAA7FFFF},
        {"81BB", 0x5555555555512345, 0xFFFFFFFFFFF00000, 0x55555555555FFFFF}, // A.A is 0
        {"81BB", 0x80000, 0xF, 0x8888},
        {"81BB", 3, 7, 0},
    };
    Sweep(std::size(cases), [&cases](unsigned i, test::Program& code, State& s) {
        code.op(cases[i].Opcode);
        s.set(0, cases[i].A);
        s.set(2, cases[i].C);
        s.R[2] = FromValue(cases[i].Result);
        s.advance(4, cases[i].Opcode[3] == '8' || cases[i].Opcode[3] == 'A' ? 21 : 10);
    });
}

} // namespace
