#include "engine/core/memory.h"
#include "tests/support/machine_model.h"

namespace {

using namespace model;

// PC=(A) and PC=(C) read the stored address as code is fetched: the I/O
// window over it does not answer, the CRC does not move, a tag is no part of
// it, and five nibbles from a page buffer's last two go on into the slack
// behind it, not into the next page's module. Only PC=(A) tells the hook.
TEST(PAndPcTransfers, JumpsThroughMemoryReadTheFetchMap)
{
    test::Machine m;
    std::vector<uint8_t> ram = test::NibbleBuffer(0x1000);
    for (uint8_t nibble = 1; nibble <= 5; ++nibble)
        ram[0xFFD + nibble] = nibble;
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFF);
    for (uint32_t value : {0x00100u, 0xFF000u, 0x70000u}) // I/O at 0x00100, then RAM's size and base
        KVMemoryConfig(value);
    m.poke(0x00130, "00108");
    m.Rom[0x00132] |= korvane::BreakpointTag;
    m.poke(0x71000, "999");
    std::mt19937_64 rng(8);
    for (bool decimal : {false, true}) {
        for (auto [opcode, address, target] : {std::tuple{"808C", 0x00130u, 0x80100u}, {"808E", 0x00130u, 0x80100u},
                                               {"808C", 0x70FFEu, 0x54321u}}) {
            State s = Randomize(rng, decimal, 3);
            korvane::CrcRegister = 0x1234;
            s.set(0, address), s.set(2, address);
            if (opcode[3] == 'C')
                s.Hooks = {{0, Origin, s.Cpu.Carry, s.Cpu.RstkIndex}};
            s.Cpu.PC = target, s.Cpu.SliceCycles = 104;
            RunOne(m, test::Program(Origin).op(opcode), rng);
            EXPECT_TRUE(Matches(s)) << opcode << std::hex << " from " << address;
            EXPECT_EQ(korvane::CrcRegister, 0x1234u);
        }
    }
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

// 810-817 rSLC and rSRC, 81C-81F rSRB, 819fs rSRB.f on every field (the
// field is one number: each nibble's bit 0 enters bit 3 of the one below),
// 8084n ABIT=0, 8085n ABIT=1, 8088n CBIT=0, 8089n CBIT=1 for every bit: only
// the register named changes; SB is set when a nonzero nibble or bit leaves
// the bottom and never cleared; Carry and the other HST bits stay. Then 80Cn
// C=P, 80Dn P=C, 80Fn CPEX on every nibble and 8082n LA with every count.
TEST(RotatesShiftsAndP, EveryMemberMatchesTheNibbleModel)
{
    std::mt19937_64 rng(11);
    Sweep(12 + 64 + 64 + 64, [&rng](unsigned i, test::Program& code, State& s) {
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
        const unsigned kind = (i - 12 - 64) >> 4, n = i & 15; // ABIT=0, ABIT=1, CBIT=0, CBIT=1, then P
        if (kind < 4) {
            code.op("808").imm(kind < 2 ? 4 + kind : 6 + kind, 1).imm(n, 1);
            Nibbles& r = s.R[kind < 2 ? 0 : 2];
            const uint64_t mask = uint64_t{1} << n, v = ToValue(r);
            r = FromValue(kind & 1 ? v | mask : v & ~mask);
            return s.advance(5, 30);
        }
        if (kind < 7) {
            code.op(kind == 4 ? "80C" : kind == 5 ? "80D" : "80F").imm(n, 1);
            const uint8_t held = s.R[2][n];
            if (kind != 5)
                s.R[2][n] = s.Cpu.P;
            if (kind != 4)
                s.Cpu.P = held;
            return s.advance(4, 32);
        }
        const uint64_t constant = rng();
        code.la(n + 1, constant); // the constant from nibble P on, wrapping from 15 to 0
        for (unsigned k = 0; k <= n; ++k)
            s.R[0][(s.Cpu.P + k) % 16] = constant >> (4 * k) & 15;
        s.advance(6 + n, 24 + 4 * n);
    }, EveryP, 2);
}

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
    constexpr unsigned FP = 0, FWP = 1, FXS = 2, FX = 3, FS = 4, FB = 6, FA = 15;
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
