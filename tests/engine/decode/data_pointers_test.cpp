#include "tests/support/machine_model.h"

namespace {

using namespace model;

// 13x transfers with A and C, 16x-1Cx steps of 1 to 16 with Carry on the
// pass over 0xFFFFF either way, and the immediate loads 19-1F, on pointers
// often by the ends of the address space.
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
        // 19, 1A, 1B D0=(2), (4), (5); 1D, 1E, 1F the same for D1
        constexpr unsigned Count[3] = {2, 4, 5}, Cost[3] = {24, 36, 46};
        const unsigned k = (i - 80) % 3;
        const uint32_t low = (1u << (4 * Count[k])) - 1, operand = rng() & low;
        code.op("1").imm((i < 83 ? 9 : 0xD) + k, 1).imm(operand, Count[k]);
        uint32_t& ptr = *pointers[i >= 83];
        ptr = (ptr & ~low & 0xFFFFF) | operand;
        s.advance(2 + Count[k], Cost[k]);
    }, SomeP, 8);
}

} // namespace
