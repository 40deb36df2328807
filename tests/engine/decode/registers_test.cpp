#include "tests/support/machine_model.h"

namespace {

using namespace model;

// 00-0D and 0F (0E is AND/OR) on random state, every P.
TEST(Group0, EveryOpcodeMatchesTheModelInBothModes)
{
    Sweep(15, [](unsigned i, test::Program& code, State& s) {
        const unsigned x = i < 14 ? i : 0xF;
        code.op("0").imm(x, 1);
        korvane::CpuState& c = s.Cpu;
        Nibbles& C = s.R[2];
        const unsigned low12 = C[0] | C[1] << 4 | C[2] << 8, st12 = c.ST & 0xFFF;
        if (x < 4 || x == 0xF) { // RTNSXM RTN RTNSC RTNCC RTI
            c.HST |= x == 0 ? korvane::HstXM : 0;
            c.Carry = x == 2 ? 1 : x == 3 ? 0 : c.Carry; // set before the hook sees the pop
            c.PC = s.pop(Origin), c.SliceCycles = 44;
            if (x == 0xF)
                Cpu.InterruptService = 1; // RTI ends the service routine: 0 afterwards
            return;
        }
        if (x == 6) // RSTK=C
            s.push(Origin, static_cast<uint32_t>(ToValue(C) & 0xFFFFF));
        for (unsigned k = 0, v = x == 7 ? s.pop(Origin) : 0; k < 5 && x == 7; ++k) // C=RSTK
            C[k] = v >> (4 * k) & 15;
        if (x == 8 || x == 0xA || x == 0xB) // CLRST, ST=C, CSTEX
            c.ST = static_cast<uint16_t>((c.ST & 0xF000) | (x == 8 ? 0 : low12));
        for (unsigned k = 0; k < 3 && (x == 9 || x == 0xB); ++k) // C=ST, CSTEX
            C[k] = st12 >> (4 * k) & 15;
        if (x == 0xC || x == 0xD) { // P=P+1, P=P-1: Carry on the wrap
            c.Carry = c.P == (x == 0xC ? 15 : 0);
            c.P = (c.P + (x == 0xC ? 1 : 15)) & 15;
        }
        c.DecimalMode = x == 4 || x == 5 ? x == 5 : c.DecimalMode; // SETHEX, SETDEC: live in the other form
        s.advance(2, x < 6 || x > 0xB ? 16 : x < 8 ? 32 : 28);
    }, EveryP, 4);
}

// 0Efo AND and OR on every field; 10x Rn=r, 11x r=Rn, 12x rRnEX, packed in
// both modes; P=n, and LC with every count from every P, wrapping from
// nibble 15 to 0.
TEST(RegisterTransfers, AndOrScratchAndLoadsMatchTheModelInBothModes)
{
    std::mt19937_64 rng(3);
    Sweep(256 + 48 + 32, [&rng](unsigned i, test::Program& code, State& s) {
        if (i < 256) {
            const unsigned f = i >> 4, o = i & 15; // o: pair, 4-7 and C-F swapped, 8-F OR
            code.op("0E").imm(f, 1).imm(o, 1);
            Nibbles& dst = s.R[Pairs[o & 3][o >> 2 & 1]];
            const Nibbles& src = s.R[Pairs[o & 3][(o >> 2 & 1) ^ 1]];
            const auto [low, high] = FieldRange(f, s.Cpu.P);
            for (unsigned k = low; k <= high; ++k)
                dst[k] = o & 8 ? dst[k] | src[k] : dst[k] & src[k];
            return s.advance(4, 24 + 4 * (high - low + 1));
        }
        if (i < 256 + 48) {
            const unsigned g = (i - 256) >> 4, x = i & 15;
            code.op("1").imm(g, 1).imm(x, 1);
            Nibbles& w = s.R[x < 8 ? 0 : 2];
            korvane::ScratchRegister& r = s.Cpu.R[(x & 7) > 4 ? (x & 7) - 4 : x & 7]; // 5-7: R1-R3 again
            const uint64_t held = uint64_t{r.High} << 32 | r.Low, value = ToValue(w);
            if (g != 1)
                r = {static_cast<uint32_t>(value), static_cast<uint32_t>(value >> 32)};
            if (g != 0)
                w = FromValue(held);
            return s.advance(3, 82);
        }
        const unsigned n = i & 15;
        if (i < 256 + 48 + 16) {
            code.p(n);
            s.Cpu.P = static_cast<uint8_t>(n);
            return s.advance(2, 12);
        }
        const uint64_t operand = rng();
        code.lc(n + 1, operand);
        for (unsigned k = 0; k <= n; ++k)
            s.R[2][(s.Cpu.P + k) % 16] = operand >> (4 * k) & 15;
        s.advance(3 + n, 16 + 4 * n);
    }, EveryP, 2);
}

// 13x transfers with A and C, 16x-1Cx steps of 1 to 16 with Carry on the
// pass over 0xFFFFF either way, and the immediate loads 19-1F.
TEST(DataPointers, EveryOpcodeMatchesTheModelInBothModes)
{
    std::mt19937_64 rng(0x13);
    Sweep(86, [&rng](unsigned i, test::Program& code, State& s) {
        uint32_t* const pointers[2] = {&s.Cpu.D0, &s.Cpu.D1};
        if (i < 16) { // x: bit 0 D1, bit 1 exchange, bit 2 C, bit 3 four nibbles (the pointer's nibble 4 stays)
            code.op("13").imm(i, 1);
            uint32_t& ptr = *pointers[i & 1];
            Nibbles& reg = s.R[i & 4 ? 2 : 0];
            const unsigned count = i & 8 ? 4 : 5;
            for (unsigned k = 0; k < count; ++k) {
                const uint8_t fromPointer = ptr >> (4 * k) & 15;
                ptr = (ptr & ~(0xFu << (4 * k))) | uint32_t{reg[k]} << (4 * k);
                if (i & 2)
                    reg[k] = fromPointer;
            }
            return s.advance(3, count == 4 ? 34 : 38);
        }
        if (i < 80) { // 16x D0+, 17x D1+, 18x D0-, 1Cx D1-
            const unsigned kind = (i - 16) >> 4, x = i & 15;
            code.op(kind == 0 ? "16" : kind == 1 ? "17" : kind == 2 ? "18" : "1C").imm(x, 1);
            uint32_t& ptr = *pointers[kind & 1];
            const int64_t sum = kind < 2 ? int64_t{ptr} + x + 1 : int64_t{ptr} - x - 1;
            s.Cpu.Carry = sum < 0 || sum > 0xFFFFF;
            ptr = static_cast<uint32_t>(sum & 0xFFFFF);
            return s.advance(3, 34);
        }
        constexpr unsigned Count[3] = {2, 4, 5}, Cost[3] = {24, 36, 46}; // 19-1B D0=(n), 1D-1F D1=(n)
        const unsigned k = (i - 80) % 3;
        const uint32_t low = (1u << (4 * Count[k])) - 1, operand = rng() & low;
        code.op("1").imm((i < 83 ? 9 : 0xD) + k, 1).imm(operand, Count[k]);
        uint32_t& ptr = *pointers[i >= 83];
        ptr = (ptr & ~low & 0xFFFFF) | operand;
        s.advance(2 + Count[k], Cost[k]);
    }, SomeP, 8);
}

} // namespace
