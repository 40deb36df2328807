#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "tests/support/machine.h"

using test::Machine;
using test::Program;

namespace {

class TraceLog : public ::testing::Test {
protected:
    ~TraceLog() override
    {
        KVStop();
        KVLogConfigure(0, 0);
        KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
    }

    // count P=P+1 instructions, two nibbles each, from origin on.
    void loadIncrements(uint32_t origin, int count)
    {
        Program p(origin);
        for (int i = 0; i < count; ++i)
            p.op("0C");
        m.load(p);
    }

    static std::vector<uint32_t> read(uint32_t max)
    {
        std::vector<uint32_t> entries(max + 1, 0xDEADBEEF);
        entries.resize(KVLogRead(entries.data(), max));
        return entries;
    }

    Machine m;
};

using Entries = std::vector<uint32_t>;

TEST_F(TraceLog, AFullRingKeepsTheNewestEntriesOldestFirst)
{
    KVLogConfigure(1, 4);
    loadIncrements(0x00200, 6);
    m.step(6);
    EXPECT_EQ(read(4), (Entries{0x204, 0x206, 0x208, 0x20A}));
    EXPECT_EQ(read(2), (Entries{0x208, 0x20A}));
    EXPECT_EQ(read(100), (Entries{0x204, 0x206, 0x208, 0x20A}));
    EXPECT_EQ(KVLogRead(nullptr, 4), 0u);
}

TEST_F(TraceLog, ReadsNeverReturnSlotsThatNoRecordWrote)
{
    loadIncrements(0x00200, 12);
    KVLogConfigure(1, 8);
    EXPECT_EQ(read(8), Entries{});
    m.step(3);
    EXPECT_EQ(read(8), (Entries{0x200, 0x202, 0x204}));

    KVLogClear();
    EXPECT_EQ(read(8), Entries{});
    m.step(1);
    EXPECT_EQ(read(8), (Entries{0x206}));

    // A smaller ring starts empty; it fills and wraps as any other.
    KVLogConfigure(1, 2);
    EXPECT_EQ(read(8), Entries{});
    m.step(3);
    EXPECT_EQ(read(8), (Entries{0x20A, 0x20C}));
}

TEST_F(TraceLog, ModeTwoRecordsTheAnsweringModuleAndItsOffset)
{
    std::vector<uint8_t> ram = test::NibbleBuffer(0x1000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFF);
    for (uint32_t value : {0x00100u, 0xFF000u, 0x80000u}) // I/O at 0x100, RAM over page 0x80
        KVMemoryConfig(value);
    ram[0xABC] = 0x0;
    ram[0xABD] = 0xC;
    loadIncrements(0x12345, 1);
    KVLogConfigure(2, 8);
    m.step();
    korvane::Cpu.PC = 0x80ABC;
    m.step();

    // Banked: the high window at bank 3.
    KVConfigure(2, 1);
    KVSetRegister(KV_REG_HIGH_BANK, 3);
    m.Rom[0xC1234] = 0x0;
    m.Rom[0xC1235] = 0xC;
    korvane::Cpu.PC = 0x41234;
    m.step();
    EXPECT_EQ(read(8), (Entries{0x50012345, 0x10000ABC, 0x500C1234}));
}

TEST_F(TraceLog, ModeZeroOrCapacityZeroSwitchesTracingOff)
{
    loadIncrements(0x00200, 4);
    for (auto [mode, capacity] : {std::pair{0u, 100u}, std::pair{1u, 0u}, std::pair{3u, 10u}}) {
        KVLogConfigure(mode, capacity);
        m.step();
        EXPECT_EQ(read(8), Entries{}) << mode << ", " << capacity;
    }
}

TEST_F(TraceLog, TheExecutionThreadRecordsAndTheRingCannotBeReplacedUnderIt)
{
    Program p(0x00300);
    p.op("6FFF"); // GOTO to itself
    m.load(p);
    KVLogConfigure(1, 16);
    // The log is read with the engine stopped; a loaded host may keep the
    // thread waiting, so run in short bursts until the ring is full.
    std::vector<uint32_t> entries(16);
    for (int i = 0; i < 500 && KVLogRead(entries.data(), 16) < 16; ++i) {
        KVRun();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        KVStop();
    }
    KVRun();
    KVLogConfigure(2, 4);
    KVLogClear();
    KVStop();
    EXPECT_EQ(read(16), Entries(16, 0x300));
}

} // namespace
