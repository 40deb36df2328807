#include "tests/support/machine_model.h"

namespace {

using namespace model;

// 00-0D and 0F (0E is AND/OR) on random state, every P, four rounds.
TEST(Group0, EveryOpcodeMatchesTheModelInBothModes)
{
    Sweep(15, [](unsigned i, test::Program& code, State& s) {
        const unsigned x = i < 14 ? i : 0xF;
        code.op("0").imm(x, 1);
        korvane::CpuState& c = s.Cpu;
        Nibbles& C = s.R[2];
        const unsigned low12 = C[0] | C[1] << 4 | C[2] << 8;
        const auto setLow12 = [&C](unsigned v) { C[0] = v & 15, C[1] = v >> 4 & 15, C[2] = v >> 8 & 15; };
        switch (x) {
        case 0x0: case 0x1: case 0x2: case 0x3: case 0xF: // RTNSXM RTN RTNSC RTNCC RTI
            c.HST |= x == 0 ? korvane::HstXM : 0;
            c.Carry = x == 2 ? 1 : x == 3 ? 0 : c.Carry;
            s.Hooks = {{2, Origin, c.Carry}}; // the flag is set before the hook sees the pop
            c.PC = s.pop(), c.SliceCycles = 44;
            if (x == 0xF)
                Cpu.InterruptService = 1; // RTI ends the service routine: 0 afterwards
            return;
        case 0x4: case 0x5: // SETHEX, SETDEC: the values stay, live in the other form if the mode changes
            c.DecimalMode = x == 5;
            return s.advance(2, 16);
        case 0x6: // RSTK=C
            s.Hooks = {{1, Origin, c.Carry}};
            c.RSTK[c.RstkIndex] = static_cast<uint32_t>(ToValue(C) & 0xFFFFF);
            c.RstkIndex = (c.RstkIndex + 1) & 7;
            return s.advance(2, 32);
        case 0x7: { // C=RSTK
            s.Hooks = {{2, Origin, c.Carry}};
            const uint32_t v = s.pop();
            for (unsigned k = 0; k < 5; ++k)
                C[k] = v >> (4 * k) & 15;
            return s.advance(2, 32);
        }
        case 0x8: c.ST &= 0xF000; break;                                         // CLRST
        case 0x9: setLow12(c.ST & 0xFFF); break;                                 // C=ST
        case 0xA: c.ST = static_cast<uint16_t>((c.ST & 0xF000) | low12); break; // ST=C
        case 0xB: // CSTEX
            setLow12(c.ST & 0xFFF);
            c.ST = static_cast<uint16_t>((c.ST & 0xF000) | low12);
            break;
        default: // P=P+1, P=P-1: Carry on the wrap
            c.Carry = c.P == (x == 0xC ? 15 : 0);
            c.P = (c.P + (x == 0xC ? 1 : 15)) & 15;
            return s.advance(2, 16);
        }
        s.advance(2, 28);
    }, EveryP, 4);
}

} // namespace
