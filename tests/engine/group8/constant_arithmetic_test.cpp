#include "tests/support/machine_model.h"

namespace {

using namespace model;

// The rule as positions on a 16-element nibble array: the amount enters at
// the first position, a carry or borrow of 1 goes on to the next, and Carry
// is what leaves the last. A one-nibble field (P, XS, S, and WP at P = 0)
// runs on round the ring and back to its own nibble: seventeen positions.
void AddConstant(test::Program& code, State& s, unsigned f, unsigned sel, unsigned k)
{
    code.op("818").imm(f, 1).imm(sel, 1).imm(k - 1, 1);
    Nibbles& n = s.R[sel & 3];
    const bool add = sel < 8;
    const auto [low, high] = FieldRange(f, s.Cpu.P);
    const unsigned positions = low == high ? 17 : high - low + 1;
    int amount = static_cast<int>(k);
    for (unsigned i = 0; i < positions && amount; ++i) {
        const int d = n[(low + i) % 16] + (add ? amount : -amount);
        n[(low + i) % 16] = static_cast<uint8_t>((d + 16) % 16);
        amount = d < 0 || d > 15;
    }
    s.Cpu.Carry = static_cast<uint8_t>(amount);
    s.advance(6, (add ? 32 : 34) + 4 * k);
}

// 818fsn: every field code, register, direction, constant and P; hexadecimal
// digits in both modes.
TEST(ConstantArithmetic, EveryMemberFollowsThePositionRule)
{
    Sweep(16 * 8 * 16, [](unsigned i, test::Program& code, State& s) {
        const unsigned s4 = i >> 4 & 7;
        AddConstant(code, s, i >> 7, s4 < 4 ? s4 : s4 + 4, (i & 15) + 1);
    }, EveryP, 2);
}

// Worked examples by hand, register values nibble 15 first; s 0-3 adds to
// A-D, 8-B subtracts. The model meets each, and the engine the model.
TEST(ConstantArithmetic, WorkedExamples)
{
    constexpr unsigned FP = 0, FWP = 1, FXS = 2, FX = 3, FS = 4, FM = 5, FB = 6, FW = 7, FA = 15;
    const struct { unsigned FieldCode, S, K, P; uint64_t Before, After; unsigned Carry; } examples[] = {
        {FP, 0, 1, 7, 0x00000000F0000000, 0x0000000100000000, 0},
        {FP, 0, 1, 15, 0xF0000000FFFFFFFF, 0x0000000100000000, 0},
        {FS, 0, 1, 0, 0xF000000000000003, 0x0000000000000004, 0},
        {FXS, 0, 1, 0, 0xFFFFFFFFFFFFFFFF, 0x0000000000000100, 0},
        {FXS, 0, 16, 0, 0xFFFFFFFFFFFFFFFF, 0x0000000000000000, 1},
        {FS, 0, 16, 0, 0xF000000000000000, 0xF000000000000001, 0},
        {FWP, 0, 2, 0, 0x00000000000000FF, 0x0000000000000101, 0},
        {FWP, 0, 2, 1, 0x00000000000000FF, 0x0000000000000001, 1},
        {FWP, 0, 1, 7, 0x9ABCDEF0FFFFFFFF, 0x9ABCDEF000000000, 1},
        {FX, 0, 1, 0, 0x1234567890ABCFFF, 0x1234567890ABC000, 1},
        {FM, 0, 1, 0, 0x0FFFFFFFFFFFF000, 0x0000000000000000, 1},
        {FW, 0, 16, 0, 0xFFFFFFFFFFFFFFF0, 0x0000000000000000, 1},
        {FA, 0, 16, 0, 0x00000000000FFFF0, 0x0000000000000000, 1},
        {FB, 1, 1, 0, 0x0000000000000009, 0x000000000000000A, 0}, // B=B+1: 9 + 1 is A, not 10
        {FP, 8, 1, 7, 0x0000000000000000, 0xFFFFFFFFEFFFFFFF, 0},
        {FP, 8, 9, 7, 0x0000000010000001, 0xFFFFFFFF80000000, 0},
        {FS, 8, 1, 0, 0x0000010000000000, 0xF00000FFFFFFFFFF, 0},
        {FXS, 8, 16, 0, 0x0000000000000000, 0xFFFFFFFFFFFFFFFF, 1},
        {FP, 8, 5, 3, 0x0000000004000200, 0x0000000003FFB200, 0},
        {FWP, 8, 2, 1, 0x0000000000000101, 0x00000000000001FF, 1},
        {FX, 0xA, 16, 0, 0x0000000000000123, 0x0000000000000113, 0}, // C=C-16
        {FX, 0xA, 16, 0, 0x000000000000000F, 0x0000000000000FFF, 1},
        {FA, 8, 16, 0, 0x000000000000000F, 0x00000000000FFFFF, 1},
        {FB, 9, 1, 0, 0x0000000000000010, 0x000000000000000F, 0}, // B=B-1: 10 - 1 is F, not 09
    };
    Sweep(std::size(examples), [&examples](unsigned i, test::Program& code, State& s) {
        const auto& e = examples[i];
        korvane::SetP(static_cast<uint8_t>(e.P));
        s.Cpu.P = static_cast<uint8_t>(e.P);
        s.set(e.S & 3, e.Before);
        AddConstant(code, s, e.FieldCode, e.S, e.K);
        EXPECT_EQ(std::tuple(ToValue(s.R[e.S & 3]), s.Cpu.Carry), std::tuple(e.After, uint8_t(e.Carry))) << i;
    }, {0});
}

} // namespace
