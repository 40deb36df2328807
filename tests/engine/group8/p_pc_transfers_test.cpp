#include "engine/core/memory.h"
#include "tests/support/machine_model.h"

namespace {

using namespace model;

// 80Cn C=P, 80Dn P=C, 80Fn CPEX on every nibble and 8082n LA with every
// count, from every P.
TEST(PAndPcTransfers, EveryMemberMatchesTheModel)
{
    std::mt19937_64 rng(11);
    Sweep(16 * 4, [&rng](unsigned i, test::Program& code, State& s) {
        korvane::CpuState& c = s.Cpu;
        const unsigned n = i & 15;
        if (i < 48) {
            code.op(i < 16 ? "80C" : i < 32 ? "80D" : "80F").imm(n, 1);
            const uint8_t held = s.R[2][n];
            if (i < 16 || i >= 32)
                s.R[2][n] = c.P;
            if (i >= 16)
                c.P = held;
            return s.advance(4, 32);
        }
        const uint64_t constant = rng();
        code.la(n + 1, constant); // LA: the constant from nibble P on, wrapping from 15 to 0
        for (unsigned k = 0; k <= n; ++k)
            s.R[0][(c.P + k) % 16] = constant >> (4 * k) & 15;
        s.advance(6 + n, 24 + 4 * n);
    }, EveryP, 2);
}

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
            WriteLive(Cpu.A, s.R[0] = FromValue(address), decimal);
            WriteLive(Cpu.C, s.R[2] = FromValue(address), decimal);
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

} // namespace
