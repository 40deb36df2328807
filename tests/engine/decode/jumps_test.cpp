#include <cstring>
#include <string_view>

#include "tests/support/machine_model.h"

namespace {

using namespace model;

// Every branch, from above zero, from below the top and ending on the last
// nibble: GOC and GONC with every offset byte (00: RTNC, RTNNC) and both
// carries, GOYES after ?HST=0 0 (which holds) with every byte (00: RTNYES),
// GOTO, GOSUB, GOLONG and GOSUBL at the ends of their offset range, GOVLNG,
// GOSBVL, and 81B2-81B7 PC=A to CPCEX. Targets wrap at 20 bits; the advance
// past an untaken branch and the return address pushed do not.
TEST(Jumps, EveryBranchMatchesTheModelAtTheEndsOfMemory)
{
    struct Branch { const char* Opcode; uint32_t Operand, Width, Carry; };
    std::vector<Branch> branches;
    for (uint32_t byte = 0; byte < 256; ++byte)
        branches.insert(branches.end(), {{"4", byte, 2, 0}, {"4", byte, 2, 1}, {"5", byte, 2, 0}, {"5", byte, 2, 1},
                                         {"830", byte, 2, 0}});
    for (uint32_t offset : {0x000u, 0x001u, 0x123u, 0x7FFu, 0x800u, 0xFFFu})
        branches.insert(branches.end(), {{"6", offset, 3, 0}, {"7", offset, 3, 0}});
    for (uint32_t offset : {0x0000u, 0x0001u, 0x1237u, 0x7FFFu, 0x8000u, 0xFFF1u, 0xFFFEu})
        branches.insert(branches.end(), {{"8C", offset, 4, 0}, {"8E", offset, 4, 0}});
    for (uint32_t address : {0x00000u, 0x12345u, 0xFEDCBu, 0xFFFFFu})
        branches.insert(branches.end(), {{"8D", address, 5, 0}, {"8F", address, 5, 0}});
    for (const char* opcode : {"81B2", "81B3", "81B4", "81B5", "81B6", "81B7"})
        branches.insert(branches.end(), 8, {opcode, 0, 0, 0}); // on eight random registers
    test::Machine m;
    std::mt19937_64 rng(4);
    int failures = 0;
    for (bool decimal : {false, true}) {
        for (const Branch& b : branches) {
            const uint32_t at = static_cast<uint32_t>(std::strlen(b.Opcode)), length = at + b.Width;
            for (uint32_t origin : {0x00010u, 0xFFFF0u, 0x100000u - length}) {
                State s = Randomize(rng, decimal, rng() & 15, origin);
                korvane::CpuState& c = s.Cpu;
                test::Program code(origin);
                code.op(b.Opcode).imm(b.Operand, b.Width);
                const uint32_t half = b.Width ? 1u << (4 * b.Width - 1) : 0, offset = (b.Operand ^ half) - half;
                const char kind = b.Opcode[0] == '8' ? b.Opcode[1] : b.Opcode[0]; // 4 5 6 7, 3 (the test), C-F
                if (b.Width == 0) { // PC=A, PC=C, A=PC, C=PC, APCEX, CPCEX: a saved PC is cut to 20 bits, PC not
                    const unsigned x = b.Opcode[3] - '0';
                    Nibbles& r = s.R[x & 1 ? 2 : 0];
                    const uint32_t field = static_cast<uint32_t>(ToValue(r) & 0xFFFFF);
                    for (unsigned k = 0; k < 5 && x >= 4; ++k)
                        r[k] = (origin + 4) >> (4 * k) & 15;
                    c.PC = x < 4 || x >= 6 ? field : origin + 4;
                    c.SliceCycles = x == 4 || x == 5 ? 44 : 76;
                } else if (kind == '3' || kind == '4' || kind == '5') {
                    if (kind != '3')
                        Cpu.Carry = static_cast<uint8_t>(b.Carry);
                    c.Carry = kind == '3' ? 1 : Cpu.Carry;
                    if (kind != '3' && b.Carry != (kind == '4')) {
                        s.advance(3, 18);
                    } else {
                        c.PC = b.Operand ? (origin + at + offset) & 0xFFFFF : s.pop(origin + at);
                        c.SliceCycles = kind == '3' ? 62 : 50;
                    }
                } else {
                    const bool call = kind == '7' || kind == 'E' || kind == 'F';
                    if (call) // GOSBVL's hook still sees the instruction
                        s.push(kind == 'F' ? origin : origin + length, origin + length);
                    c.PC = kind == 'D' || kind == 'F' ? b.Operand : (origin + (call ? length : at) + offset) & 0xFFFFF;
                    const uint32_t costs[] = {56, 60, 68, 74, 72, 78};
                    c.SliceCycles = costs[std::string_view("67CDEF").find(kind)];
                }
                RunOne(m, code, rng);
                if (!Within(Matches(s), Text(code) + " at " + std::to_string(origin), failures))
                    return;
            }
        }
    }
}

std::vector<std::array<uint32_t, 3>> HookCalls; // code, PC, SliceCycles

// The hook may move PC: GOSUBL reads it back afterwards, so the target moves
// and the pushed address does not. RTNYES tells it with the taken cycles
// counted, the base not yet.
TEST(Jumps, TheHookSeesAndMovesTheCall)
{
    test::Machine m;
    KVSetDebuggingHackHandler([](uint32_t code) {
        HookCalls.push_back({code, Cpu.PC, Cpu.SliceCycles});
        return Cpu.PC += 0x100, 0u;
    });
    m.load(test::Program(0x06000).op("8E").imm(0x0020, 4));
    m.step();
    EXPECT_EQ(std::tuple(Cpu.PC, Cpu.RSTK[0]), std::tuple(0x06126u, 0x06006u));
    m.load(test::Program(0x01000).op("83000"));
    Cpu.SliceCycles = 1000;
    m.step();
    EXPECT_EQ(std::tuple(Cpu.PC, Cpu.SliceCycles), std::tuple(0x06006u, 1062u));
    EXPECT_EQ(HookCalls, (std::vector<std::array<uint32_t, 3>>{{1, 0x06006, 0}, {2, 0x01003, 1032}}));
}

} // namespace
