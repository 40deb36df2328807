#include <chrono>
#include <thread>

#include "engine/core/interrupts.h"
#include "tests/support/machine_model.h"
#include "tests/support/single_step.h"

namespace {

using namespace model;

// OUT=CS, OUT=C, C+P+1 (binary in both modes, at and around the carry),
// SREQ?, INTON, INTOFF, the instructions with no effect here (BUSCC, SHUTDN
// when stepped, RESET on a reset map, BUSCB, BUSCD), HS=0 n (a mask), ST=0 n
// and ST=1 n (a bit number), from every P.
TEST(Control, RegisterAndStatusMembersMatchTheModel)
{
    unsigned calls = 0;
    Sweep(11 + 48, [&calls](unsigned i, test::Program& code, State& s) {
        korvane::CpuState& c = s.Cpu;
        Nibbles& C = s.R[2];
        const unsigned n = (i - 11) & 15;
        if (i >= 11) { // 82n, 84n, 85n
            code.op(i < 27 ? "82" : i < 43 ? "84" : "85").imm(n, 1);
            c.HST &= i < 27 ? ~n & 15 : 15;
            c.ST = static_cast<uint16_t>(i < 27 ? c.ST : i < 43 ? c.ST & ~(1u << n) : c.ST | 1u << n);
            return s.advance(3, i < 27 ? 18 : 22);
        }
        constexpr const char* Opcodes[11] = {"800", "801", "809", "80E", "8080", "808F",
                                             "80B", "807", "80A", "8083", "808D"};
        code.op(Opcodes[i]);
        switch (i) {
        case 0: c.OUT = static_cast<uint16_t>((c.OUT & 0xFFF0) | C[0]); return s.advance(3, 22);
        case 1: c.OUT = static_cast<uint16_t>(C[0] | C[1] << 4 | C[2] << 8); return s.advance(3, 30);
        case 2: {
            uint32_t field = static_cast<uint32_t>(ToValue(C) & 0xFFFFF);
            if (++calls % 3 != 0) // a sum of exactly 0x100000, or of 0xFFFFF
                s.set(2, (ToValue(C) & ~0xFFFFFull) | (field = 0x100000 - (c.P + 1) - calls % 3 + 1));
            const uint32_t sum = field + c.P + 1;
            for (unsigned k = 0; k < 5; ++k)
                C[k] = sum >> (4 * k) & 15;
            c.Carry = sum > 0xFFFFF;
            return s.advance(3, 82);
        }
        case 3: C[0] = 0; return s.advance(3, 29);
        case 4: case 5: // INTON, INTOFF
            Cpu.KeyInterruptsEnabled = static_cast<uint8_t>(i - 4);
            c.KeyInterruptsEnabled = static_cast<uint8_t>(5 - i);
            return s.advance(4, 28);
        default: return s.advance(i < 9 ? 3 : 4, 0);
        }
    }, EveryP, 2);
}

// The calculator's start-up chain built by CONFIG, two modules taken out
// again by UNCNFG and the whole map dropped by RESET; C=ID between them.
TEST(Control, ConfigurationInstructionsDriveTheMemoryMap)
{
    constexpr uint64_t Filler = 0x9876543210000000; // C's nibbles 5-15, which must survive
    using Where = std::pair<uint32_t, uint32_t>;   // the module that answers and the offset in it
    for (bool decimal : {false, true}) {
        test::Machine m;
        std::vector<uint8_t> ram = test::NibbleBuffer(0x10000);
        KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFFF);
        const auto step = [&m, decimal](const char* opcode, uint32_t c) {
            test::SetValue(Cpu.C, Filler | c);
            test::StepIn(m, opcode, decimal);
            return test::Value(Cpu.C) ^ Filler;
        };
        const auto at = [](uint32_t address) {
            uint32_t module = 99, offset = KVTranslateAddress(address, &module);
            return Where(module, offset);
        };
        EXPECT_EQ(step("806", 0), 0x00019u); // C=ID
        step("805", 0x00100);                // CONFIG: the I/O window
        EXPECT_EQ(step("806", 0), 0xFF003u);
        for (uint32_t value : {0xF0000u, 0x70000u, 0xF0000u, 0x70000u, 0x80000u, 0x80000u})
            step("805", value); // RAM, bank switcher, port 1: size, then base
        EXPECT_EQ(Cpu.SliceCycles, 54u);
        EXPECT_EQ(step("806", 0), 0xFF001u);
        EXPECT_EQ(std::tuple(at(0x00105), at(0x7A123), at(0x00140).first, at(0x90000).first, at(0x20000).first),
                  std::tuple(Where(KV_MODULE_IO, 5), Where(KV_MODULE_RAM, 0xA123), KV_MODULE_ROM, KV_MODULE_PORT1,
                             KV_MODULE_ROM));

        step("804", 0x00105); // UNCNFG inside the window: the I/O module
        EXPECT_EQ(std::tuple(Cpu.SliceCycles, at(0x00105).first), std::tuple(58u, KV_MODULE_ROM));
        step("804", 0x70000); // UNCNFG of RAM uncovers the bank switcher
        EXPECT_EQ(at(0x7A123).first, KV_MODULE_BANK_SWITCHER);
        EXPECT_EQ(step("806", 0), 0x00119u);
        step("80A", 0); // RESET, which costs nothing
        EXPECT_EQ(std::tuple(Cpu.SliceCycles, at(0x90000).first), std::tuple(0u, KV_MODULE_ROM));
        EXPECT_EQ(step("806", 0), 0x00019u);
        KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
    }
}

// OUT=C then C=IN or A=IN in both modes: IN reaches a line through a sneak
// path of three keys, only nibbles 0-3 change; RSI owes the key interrupt
// until INTON and the next read raises it. SHUTDN on the running engine
// sleeps with PC on the instruction; the ON key wakes it, and its key
// interrupt returns behind SHUTDN.
TEST(Control, KeyboardReadsThroughOutAndInAndWakesShutdown)
{
    for (bool decimal : {false, true}) {
        test::Machine m;
        test::ResetKeys();
        for (auto [column, row] : {std::pair{0, 0}, {1, 0}, {1, 1}})
            KVPressKey(column, row);
        test::SetValue(Cpu.C, 0xABCDEF0123450002);
        test::SetValue(Cpu.A, ~0ull);
        for (const char* opcode : {"801", "803", "802"}) // line 1: columns 1 and, through (1,0) and (0,0), 0
            test::StepIn(m, opcode, decimal);
        EXPECT_EQ(std::tuple(test::Value(Cpu.C), test::Value(Cpu.A)),
                  std::tuple(0xABCDEF0123450003u, 0xFFFFFFFFFFFF0003u));
        EXPECT_EQ(korvane::PendingInterrupts.load(), 0) << "key interrupts are off";
        for (const char* opcode : {"80810", "8080", "803"}) // RSI, INTON, C=IN
            test::StepIn(m, opcode, decimal);
        EXPECT_EQ(korvane::PendingInterrupts.load(), korvane::RequestKey);
    }
    test::Machine m;
    test::ResetKeys();
    m.place(test::Program(0x0000F).label("spin").goto_("spin"));
    m.load(test::Program(0x00100).op("807").label("after").goto_("after"));
    const auto waitFor = [](auto condition) {
        for (int i = 0; i < 2000 && !condition(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return condition();
    };
    KVRun();
    ASSERT_TRUE(waitFor([] { return korvane::Sleeping.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(std::tuple(korvane::Sleeping.load(), Cpu.PC), std::tuple(1, 0x00100u)) << "only a wake ends the sleep";
    KVPressKey(9, 9);
    EXPECT_TRUE(waitFor([] { return korvane::LoadRelaxed(Cpu.InterruptService) == 1; }));
    KVStop();
    KVReleaseKey(9, 9);
    EXPECT_EQ(std::tuple(Cpu.RSTK[0], Cpu.PC, korvane::ServiceRequestBits & 0x80), std::tuple(0x00103u, 0x0000Fu, 0x80u));
    test::ResetKeys();
}

} // namespace
