#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "engine/core/interrupts.h"
#include "tests/engine/group8/single_step.h"

using korvane::Cpu;
using namespace test;

namespace {

constexpr uint64_t CFiller = 0x9876543210000000; // C's nibbles 5-15, which must survive

uint64_t StepWithC(Machine& m, const std::string& opcode, uint32_t field, bool decimal)
{
    SetValue(Cpu.C, CFiller | field);
    StepIn(m, opcode, decimal);
    return Value(Cpu.C);
}

// The calculator's start-up chain built by CONFIG, two modules taken out
// again by UNCNFG and the whole map dropped by RESET.
TEST(Control, ConfigurationInstructionsDriveTheMemoryMap)
{
    for (bool decimal : {false, true}) {
        Machine m;
        std::vector<uint8_t> ram = NibbleBuffer(0x10000);
        KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFFF);
        uint32_t module = 99;
        const auto moduleAt = [&module](uint32_t address) {
            KVTranslateAddress(address, &module);
            return module;
        };
        EXPECT_EQ(StepWithC(m, "806", 0, decimal), CFiller | 0x00019); // C=ID
        StepWithC(m, "805", 0x00100, decimal);                         // CONFIG: the I/O window
        EXPECT_EQ(StepWithC(m, "806", 0, decimal), CFiller | 0xFF003);
        for (uint32_t value : {0xF0000u, 0x70000u, 0xF0000u, 0x70000u, 0x80000u, 0x80000u})
            StepWithC(m, "805", value, decimal); // RAM, bank switcher, port 1: size, then base
        EXPECT_EQ(Cpu.SliceCycles, 54u);
        EXPECT_EQ(StepWithC(m, "806", 0, decimal), CFiller | 0xFF001);
        EXPECT_EQ(KVTranslateAddress(0x00105, &module), 5u);
        EXPECT_EQ(module, uint32_t{KV_MODULE_IO});
        EXPECT_EQ(KVTranslateAddress(0x7A123, &module), 0xA123u);
        EXPECT_EQ(module, uint32_t{KV_MODULE_RAM});
        EXPECT_EQ(moduleAt(0x00140), uint32_t{KV_MODULE_ROM});
        EXPECT_EQ(moduleAt(0x90000), uint32_t{KV_MODULE_PORT1});
        EXPECT_EQ(moduleAt(0x20000), uint32_t{KV_MODULE_ROM});

        StepWithC(m, "804", 0x00105, decimal); // UNCNFG inside the window: the I/O module
        EXPECT_EQ(Cpu.SliceCycles, 58u);
        EXPECT_EQ(moduleAt(0x00105), uint32_t{KV_MODULE_ROM});
        StepWithC(m, "804", 0x70000, decimal); // UNCNFG of RAM uncovers the bank switcher
        EXPECT_EQ(moduleAt(0x7A123), uint32_t{KV_MODULE_BANK_SWITCHER});
        EXPECT_EQ(StepWithC(m, "806", 0, decimal), CFiller | 0x00119);
        EXPECT_EQ(Cpu.SliceCycles, 54u);

        StepWithC(m, "80A", 0, decimal); // RESET, which costs nothing
        EXPECT_EQ(Cpu.SliceCycles, 0u);
        EXPECT_EQ(moduleAt(0x90000), uint32_t{KV_MODULE_ROM});
        EXPECT_EQ(StepWithC(m, "806", 0, decimal), CFiller | 0x00019);
        KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
    }
}

TEST(Control, RegisterArithmeticAndOutputLines)
{
    const struct {
        uint32_t Field, P, Result;
        uint8_t Carry;
    } sums[] = {{0xFFFFF, 0, 0x00000, 1}, {0xFFFF0, 15, 0x00000, 1}, {0xFFFEF, 15, 0xFFFFF, 0}, {0x12399, 6, 0x123A0, 0}};
    Machine m;
    for (bool decimal : {false, true}) {
        for (const auto& s : sums) { // C+P+1 adds in binary in both modes
            korvane::SetP(static_cast<uint8_t>(s.P));
            Cpu.Carry = 1 - s.Carry;
            EXPECT_EQ(StepWithC(m, "809", s.Field, decimal), CFiller | s.Result) << std::hex << s.Field;
            EXPECT_EQ(Cpu.Carry, s.Carry) << std::hex << s.Field;
            EXPECT_EQ(Cpu.SliceCycles, 82u);
        }
        Cpu.OUT = 0x123;
        StepWithC(m, "800", 0xFFDEA, decimal); // OUT=CS: nibble 0 only
        EXPECT_EQ(Cpu.OUT, 0x12Au);
        EXPECT_EQ(Cpu.SliceCycles, 22u);
        StepWithC(m, "801", 0xFFDEF, decimal); // OUT=C: nibbles 0-2
        EXPECT_EQ(Cpu.OUT, 0xDEFu);
        EXPECT_EQ(Cpu.SliceCycles, 30u);
    }
}

// HS=0 takes its nibble as a mask of HST bits, ST=0 and ST=1 as a bit number.
TEST(Control, HstMaskAndStatusBitNumber)
{
    Machine m;
    for (bool decimal : {false, true}) {
        for (unsigned n = 0; n < 16; ++n) {
            Cpu.HST = 0xF;
            Cpu.ST = 0x5A5A;
            Cpu.Carry = 1;
            StepIn(m, std::string("82") + Digits[n], decimal);
            EXPECT_EQ(Cpu.HST, 0xF & ~n) << n;
            EXPECT_EQ(Cpu.SliceCycles, 18u);
            StepIn(m, std::string("85") + Digits[n], decimal);
            EXPECT_EQ(Cpu.ST, 0x5A5A | 1u << n) << n;
            StepIn(m, std::string("84") + Digits[n], decimal);
            EXPECT_EQ(Cpu.ST, 0x5A5A & ~(1u << n)) << n;
            EXPECT_EQ(Cpu.SliceCycles, 22u);
            EXPECT_EQ(Cpu.HST, 0xF & ~n);
            EXPECT_EQ(Cpu.Carry, 1);
        }
    }
}

template <typename Condition>
bool WaitFor(Condition condition)
{
    for (int i = 0; i < 2000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return condition();
}

// SHUTDN on the running engine sleeps with PC on the instruction; the ON
// key wakes it, and its key interrupt returns behind SHUTDN.
TEST(Control, ShutdownSleepsUntilAKeyPress)
{
    Machine m;
    ResetKeys();
    StepIn(m, "807", false);
    EXPECT_EQ(Cpu.PC, StepOrigin + 3) << "stepped off the execution thread it does not sleep";
    EXPECT_EQ(Cpu.SliceCycles, 0u);
    m.place(Program(0x0000F).label("spin").goto_("spin"));
    Program p(0x00100);
    p.op("807").label("after").goto_("after");
    m.load(p);

    KVRun();
    ASSERT_TRUE(WaitFor([] { return korvane::Sleeping.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(korvane::Sleeping.load(), 1) << "nothing but a wake ends the sleep";
    EXPECT_EQ(Cpu.PC, StepOrigin) << "PC stays on SHUTDN while the CPU sleeps";
    KVPressKey(9, 9);
    EXPECT_TRUE(WaitFor([] { return korvane::LoadRelaxed(Cpu.InterruptService) == 1; }));
    KVStop();
    KVReleaseKey(9, 9);
    EXPECT_EQ(Cpu.RSTK[0], p.at("after"));
    EXPECT_EQ(Cpu.PC, 0x0000Fu);
    EXPECT_EQ(korvane::ServiceRequestBits & 0x80, 0x80);
    ResetKeys();
}

} // namespace
