#include "tests/support/machine_model.h"

namespace {

using namespace model;

// GOC and GONC with every offset byte (00: RTNC and RTNNC) and both carries,
// then GOTO and GOSUB at the ends of their offset range, from above zero,
// below the top and on the last nibbles: targets wrap at 20 bits, the advance
// past an untaken branch and the return address GOSUB pushes do not.
TEST(Jumps, EveryBranchMatchesTheModelAtTheEndsOfMemory)
{
    constexpr uint32_t LongOffsets[6] = {0x000, 0x001, 0x123, 0x7FF, 0x800, 0xFFF};
    test::Machine m;
    std::mt19937_64 rng(4);
    int failures = 0;
    for (bool decimal : {false, true}) {
        for (uint32_t near : {0x00010u, 0xFFFF0u, 0x100000u}) {
            for (unsigned op = 0; op < 1024 + 12; ++op) {
                const uint32_t origin = near == 0x100000 ? near - (op < 1024 ? 3 : 4) : near; // ending on 0xFFFFF
                State s = Randomize(rng, decimal, rng() & 15, origin);
                korvane::CpuState& c = s.Cpu;
                test::Program code(origin);
                if (op < 1024) { // 4ab GOC, 5ab GONC
                    const unsigned byte = op & 255, carry = op >> 8 & 1, onCarry = op >> 9 ^ 1;
                    code.op(onCarry ? "4" : "5").imm(byte, 2);
                    Cpu.Carry = c.Carry = static_cast<uint8_t>(carry);
                    if (carry != onCarry) {
                        s.advance(3, 18);
                    } else if (byte == 0) {
                        s.Hooks = {{2, origin + 1, carry}}; // the hook sees PC on the offset
                        c.PC = s.pop(), c.SliceCycles = 50;
                    } else {
                        c.PC = (origin + 1 + (byte ^ 0x80) - 0x80) & 0xFFFFF, c.SliceCycles = 50;
                    }
                } else { // 6abc GOTO, 7abc GOSUB
                    const bool gosub = op & 1;
                    const uint32_t offset = LongOffsets[(op - 1024) / 2];
                    code.op(gosub ? "7" : "6").imm(offset, 3);
                    if (gosub) {
                        s.Hooks = {{1, origin + 4, c.Carry}};
                        c.RSTK[c.RstkIndex] = origin + 4;
                        c.RstkIndex = (c.RstkIndex + 1) & 7;
                    }
                    c.PC = (origin + (gosub ? 4 : 1) + (offset ^ 0x800) - 0x800) & 0xFFFFF;
                    c.SliceCycles = gosub ? 60 : 56;
                }
                RunOne(m, code, rng);
                if (!Within(Matches(s), Text(code) + " at " + std::to_string(origin), failures))
                    return;
            }
        }
    }
}

// Nine nested calls overrun the ring of eight: the ninth return address
// replaces the first, and the outermost return finds the slot cleared.
TEST(Jumps, GosubNineDeepWrapsTheReturnStack)
{
    for (bool decimal : {false, true}) {
        test::Machine m;
        test::Program p(0x00100);
        // Appended, not "kind + string": GCC 12 at -O3 warns falsely about an
        // overlapping copy in the insertion that operator+ does there.
        const auto name = [](const char* kind, int k) { return std::string(kind).append(std::to_string(k)); };
        p.gosub("s1").label("r0").goto_("r0");
        for (int k = 1; k <= 9; ++k) {
            p.label(name("s", k));
            if (k < 9)
                p.gosub(name("s", k + 1)).label(name("r", k));
            p.rtn();
        }
        m.load(p);
        decimal ? korvane::SwitchToDecimal() : korvane::SwitchToHex();
        for (int k = 1; k <= 9 + 9; ++k) {
            m.step();
            EXPECT_EQ(Cpu.PC, k <= 9 ? p.at(name("s", k)) : k < 18 ? p.at(name("r", 18 - k)) : 0u) << "step " << k;
        }
        EXPECT_EQ(Cpu.SliceCycles, 9 * 60u + 9 * 44u);
        EXPECT_EQ(Cpu.RstkIndex, 0u);
        EXPECT_EQ(std::count(std::begin(Cpu.RSTK), std::end(Cpu.RSTK), 0u), 8);
    }
}

} // namespace
