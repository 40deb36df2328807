#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "tests/support/machine.h"

using Entries = std::vector<uint32_t>;

namespace {

class TraceLog : public ::testing::Test {
protected:
    TraceLog() { m.load(test::Program(0x00200).op("0C0C0C0C0C0C0C0C0C0C0C0C")); } // twelve P=P+1
    ~TraceLog() override
    {
        KVStop();
        KVLogConfigure(0, 0);
    }
    static Entries read(uint32_t max)
    {
        Entries entries(max + 1, 0xDEADBEEF);
        entries.resize(KVLogRead(entries.data(), max));
        return entries;
    }
    test::Machine m;
};

// The reads return the newest entries, oldest first, and never a slot that
// no record wrote: after a clear, or in a new (smaller) ring.
TEST_F(TraceLog, ReadsReturnOnlyRecordedEntriesOldestFirst)
{
    KVLogConfigure(1, 4);
    EXPECT_EQ(read(4), Entries{});
    m.step(3);
    EXPECT_EQ(read(4), (Entries{0x200, 0x202, 0x204}));
    m.step(3);
    EXPECT_EQ(read(4), (Entries{0x204, 0x206, 0x208, 0x20A}));
    EXPECT_EQ(read(2), (Entries{0x208, 0x20A}));
    EXPECT_EQ(read(100), (Entries{0x204, 0x206, 0x208, 0x20A}));
    EXPECT_EQ(KVLogRead(nullptr, 4), 0u);

    KVLogClear();
    EXPECT_EQ(read(8), Entries{});
    m.step(1);
    EXPECT_EQ(read(8), (Entries{0x20C}));
    KVLogConfigure(1, 2);
    EXPECT_EQ(read(8), Entries{});
    m.step(3);
    EXPECT_EQ(read(8), (Entries{0x210, 0x212}));

    for (auto [mode, capacity] : {std::pair{0u, 100u}, {1u, 0u}, {3u, 10u}}) {
        KVLogConfigure(mode, capacity);
        m.step();
        EXPECT_EQ(read(8), Entries{}) << "tracing is off: " << mode << ", " << capacity;
    }
}

TEST_F(TraceLog, ModeTwoRecordsTheAnsweringModuleAndItsOffset)
{
    std::vector<uint8_t> ram = test::NibbleBuffer(0x1000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFF);
    for (uint32_t value : {0x00100u, 0xFF000u, 0x80000u}) // I/O at 0x100, RAM over page 0x80
        KVMemoryConfig(value);
    ram[0xABD] = 0xC;
    KVLogConfigure(2, 8);
    m.step();
    KVConfigure(KV_CONFIG_HP49, 1); // banked: the high window at bank 3
    KVSetRegister(KV_REG_HIGH_BANK, 3);
    m.Rom[0xC1235] = 0xC;
    for (uint32_t pc : {0x80ABCu, 0x41234u}) {
        KVSetRegister(KV_REG_PC, pc);
        m.step();
    }
    EXPECT_EQ(read(8), (Entries{0x50000200, 0x10000ABC, 0x500C1234}));
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

TEST_F(TraceLog, TheExecutionThreadRecordsAndTheRingCannotBeReplacedUnderIt)
{
    m.load(test::Program(0x00300).op("6FFF")); // GOTO to itself
    KVLogConfigure(1, 16);
    // The log is read with the engine stopped; a loaded host may keep the
    // thread waiting, so run in short bursts until the ring is full.
    Entries entries(16);
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
