#include "tests/support/machine_model.h"

namespace {

using namespace model;

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
