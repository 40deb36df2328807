#include <algorithm>
#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <tuple>
#include <vector>

#include "engine/core/banks.h"
#include "engine/core/io_registers.h"
#include "engine/core/lcd.h"
#include "engine/core/memory.h"
#include "engine/core/timers.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Value;

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& record, size_t at, uint32_t value, size_t width = 4)
{
    for (size_t i = 0; i < width; ++i)
        record[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

constexpr uint32_t KnownRstk[8] = {0x00011, 0x10011, 0x20011, 0x30011, 0x40011, 0x50011, 0x60011, 0x100000};

struct Snapshot : ::testing::Test {
    Snapshot()
    {
        for (uint32_t id = ModuleRom; id < 8; ++id) // nothing but a restore writes the records of 5 to 7
            Modules[id].State = Modules[id].Base = Modules[id].SizeMask = 0;
    }
    ~Snapshot() override { KVConfigure(KV_CONFIG_HP49, 0); }

    static void setKnownMachine()
    {
        KVConfigure(KV_CONFIG_HP49, 1);
        Cpu.PC = 0x12345, Cpu.D0 = 0xABCDE, Cpu.D1 = 0x00F0F;
        test::SetValue(Cpu.A, 0x0123456789ABCDEF);
        test::SetValue(Cpu.B, 0xFEDCBA9876543210);
        test::SetValue(Cpu.C, 1);
        test::SetValue(Cpu.D, 0x8000000000000000);
        for (uint32_t k = 0; k < 8; ++k)
            Cpu.R[k] = {0x100 + k, 0x200 + k};
        Cpu.RstkIndex = 5;
        std::memcpy(Cpu.RSTK, KnownRstk, sizeof KnownRstk);
        SetP(5);
        Cpu.HST = 0xA, Cpu.ST = 0x8001, Cpu.Carry = Cpu.KeyInterruptsEnabled = 1;
        SetLowBank(2), SetHighBank(11);
        for (uint32_t value : {0x00100u, 0xFF000u, 0x7F000u, 0xC0000u}) // I/O, RAM over 0x7F, switcher sized
            KVMemoryConfig(value);
        CrcRegister = 0xBEEF;
        PlainRegister1E = 1, PlainRegister1F = 2, PlainRegister0E = 3, PlainRegister09 = 4;
        for (int i = 0; i < 64; ++i)
            IoRegisterShadow[i] = i & 15;
        Timers.Timer1Control = 3, Timers.Timer2Control = 5, Timers.Timer1 = 9, Timers.Timer2 = 0xCAFEBABE;
        LeftOffset = 5, LineOffset = -2, LineCount = 55, DisplayAddress = 0x12340, MenuAddress = 0x56780;
        Annunciators = 0xA5;
    }

    // The record of the known machine, laid out field by field.
    static Bytes knownRecord()
    {
        Bytes e(358, 0);
        const struct {
            size_t At;
            uint32_t Value, Width = 4;
        } fields[] = {
            {0, 0x12345}, {4, 0xABCDE}, {8, 0x00F0F}, // PC, D0, D1, then A to D low and high halves
            {12, 0x89ABCDEF}, {16, 0x01234567}, {20, 0x76543210}, {24, 0xFEDCBA98}, {28, 1}, {40, 0x80000000},
            {108, 5}, {144, 0x80010AA5}, {148, 2}, {152, 11}, // ST 8001, key interrupts, carry, HST A, P 5; banks
            {156, 2}, {160, 0x00100}, {164, 0xFFFC0}, {168, 2}, {172, 0x7F000}, {176, 0xFF000}, // module records
            {180, 1}, {188, 0xC0000}, {200, 0xFF000}, {212, 0xFF000},
            {252, 0xBEEF}, {257, 0x04030201}, {326, 0x090503, 3}, {330, 0xCAFEBABE}, // CRC, plain, timers
            {334, 5}, {338, 0xFFFFFFFE}, {342, 55}, {346, 0x12340}, {350, 0x56780}, {354, 0xA5}, // display
        };
        for (const auto& f : fields)
            Put(e, f.At, f.Value, f.Width);
        for (uint32_t k = 0; k < 8; ++k) {
            Put(e, 44 + 8 * k, 0x100 + k);
            Put(e, 48 + 8 * k, 0x200 + k);
            Put(e, 112 + 4 * k, KnownRstk[k]);
        }
        for (size_t i = 0; i < 64; ++i)
            e[262 + i] = i & 15;
        return e;
    }

    test::Machine m;
};

TEST_F(Snapshot, TheRecordHoldsEachFieldAtItsOffsetAndShortBuffersAreRefused)
{
    setKnownMachine();
    Bytes buffer(512, 0xEE);
    EXPECT_EQ(KVSaveState(buffer.data(), 512), 1u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 358), knownRecord());
    EXPECT_EQ(buffer[358], 0xEE);

    // An exact fit is written but answers 0; a shorter one is left untouched.
    Bytes exact(358, 0xEE), shorter(357, 0xEE);
    EXPECT_EQ(KVSaveState(exact.data(), 358) + KVSaveState(shorter.data(), 357) + KVSaveState(nullptr, 512), 0u);
    EXPECT_EQ(exact, knownRecord());
    EXPECT_EQ(shorter, Bytes(357, 0xEE));
    Cpu.PC = 0x777;
    EXPECT_EQ(KVRestoreState(shorter.data(), 357) + KVRestoreState(nullptr, 512), 0u);
    EXPECT_EQ(Cpu.PC, 0x777u);
}

TEST_F(Snapshot, RestoreBringsBackEveryFieldButOutInAndTheCycleTotal)
{
    setKnownMachine();
    Bytes record(512);
    KVSaveState(record.data(), 512);

    std::memset(&Cpu, 0x5A, offsetof(CpuState, DecimalMode)); // the mode itself stays: a switch converts
    std::fill(std::begin(Cpu.RSTK), std::end(Cpu.RSTK), 0u);
    Cpu.RstkIndex = Cpu.KeyInterruptsEnabled = 0;
    Cpu.OUT = 0x123, Cpu.IN = 0x8001, Cpu.TotalCycles = 777, Cpu.SliceCycles = 0;
    SetLowBank(0);
    KVMemoryReset();
    CrcRegister = PlainRegister09 = Timers.Timer1 = Timers.Timer2 = LeftOffset = LineCount = DisplayAddress = 0;
    LineOffset = IoRegisterShadow[7] = Annunciators = 0;

    EXPECT_EQ(KVRestoreState(record.data(), 512), 1u);
    const uint32_t* modules = Memory.Pages.Modules;
    EXPECT_EQ(std::tuple(Value(Cpu.B), Cpu.PShift, modules[0x00] << 16 | modules[0x7F] << 8 | modules[0x7E]),
              std::tuple(0xFEDCBA9876543210u, 20u, 0x212220u));
    EXPECT_EQ(std::tuple(LineOffset, KVGetRegister(KV_REG_CYCLES_LOW), uint32_t{Cpu.OUT} << 16 | Cpu.IN),
              std::tuple(-2, 777u, 0x1238001u));
    // Every other field: the record it gives again is the one it came from.
    Bytes again(512);
    KVSaveState(again.data(), 512);
    EXPECT_EQ(Bytes(again.begin(), again.begin() + 358), Bytes(record.begin(), record.begin() + 358));
}

TEST_F(Snapshot, RestoredFieldsAreCutToTheirWidthAndOnlyChainModulesAreMapped)
{
    Bytes record(512, 0);
    Put(record, 156 + 12, 2), Put(record, 160 + 12, 0x80000), Put(record, 164 + 12, 0xC0000);
    Put(record, 156 + 36, 1);                        // module 3 sized, not configured: maps nothing
    Put(record, 156 + 72, 2), Put(record, 156 + 84, 2); // 6 and 7 are no modules
    KVRestoreState(record.data(), 512);
    for (uint32_t page = 0; page < 256; ++page)
        ASSERT_EQ(Memory.Pages.Modules[page], page >= 0x80 && page <= 0xBF ? 0x22u : 0x20u) << page;

    KVConfigure(KV_CONFIG_HP49, 1);
    const Bytes ones(512, 0xFF);
    KVRestoreState(ones.data(), 512);
    EXPECT_EQ(std::tuple(Cpu.PC | Cpu.D0 | Cpu.D1, Cpu.RstkIndex, Cpu.PShift, Value(Cpu.A)),
              std::tuple(0xFFFFFu, 7u, 60u, ~uint64_t{0}));
    EXPECT_EQ(KVGetRegister(KV_REG_LOW_BANK) << 4 | KVGetRegister(KV_REG_HIGH_BANK), 0x3Fu);
    EXPECT_EQ(std::tuple(Modules[ModuleIo].Base, Modules[ModuleRam].SizeMask, Modules[ModuleRam].State),
              std::tuple(0xFFFC0u, 0xFFFFFu, 0u));
    EXPECT_EQ(std::tuple(Memory.Pages.Modules[0xFF], CrcRegister), std::tuple(0x20u, 0xFFFFu));
    EXPECT_EQ(PlainRegister1E | PlainRegister1F | PlainRegister0E | PlainRegister09 | IoRegisterShadow[63], 0xF);
    EXPECT_EQ(Timers.Timer1Control | Timers.Timer2Control | Timers.Timer1, 0xF);
    EXPECT_EQ(std::tuple(LeftOffset, LineOffset, LineCount, DisplayAddress | MenuAddress),
              std::tuple(7u, -1, 63u, 0xFFFFFu));
}

// Random records must not lead any later access outside the lent buffers:
// every page fetches from inside one of them or from the blank page, data
// reads give nibbles and addresses of their width, and every address
// translates to a module that exists at an offset inside its buffer. The
// sanitizer build watches the reads themselves.
TEST_F(Snapshot, RandomRecordsRestoreIntoAMachineThatStillRunsSafely)
{
    Bytes ram = test::NibbleBuffer(0x1000), port1 = test::NibbleBuffer(0x1000), port2 = test::NibbleBuffer(0x2000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFF);
    KVSetMemoryModule(KV_MODULE_PORT1, port1.data(), 0xFFF);
    KVSetMemoryModule(KV_MODULE_PORT2, port2.data(), 0x1FFF);
    const struct {
        const uint8_t* Start;
        uint32_t Nibbles;
    } buffers[] = {{m.Rom.data(), KV_ROM_NIBBLES}, {ram.data(), 0x1000}, {port1.data(), 0x1000},
                   {port2.data(), 0x2000}, {BlankPage, PageSize}};
    const auto insideABuffer = [&](const uint8_t* page) {
        return std::any_of(std::begin(buffers), std::end(buffers), [page](const auto& buffer) {
            return page >= buffer.Start && page + PageSize <= buffer.Start + buffer.Nibbles;
        });
    };
    const uint32_t moduleNibbles[] = {64, 0x1000, 0, 0x1000, 0x2000, KV_ROM_NIBBLES};

    std::mt19937 random(49);
    Bytes record(512);
    for (int round = 0; round < 3000; ++round) {
        KVConfigure(KV_CONFIG_HP49, round & 1);
        for (uint8_t& byte : record)
            byte = static_cast<uint8_t>(random());
        KVRestoreState(record.data(), 512);
        for (uint32_t page = 0; page < 256; ++page) {
            const uint32_t address = page << 12 | (random() & 0xFFF);
            uint32_t module = KV_MODULE_NONE;
            const uint32_t offset = KVTranslateAddress(address, &module);
            ASSERT_TRUE(insideABuffer(Memory.Pages.Fetch[page]) && ReadNibble(address) < 16 &&
                        ReadAddress(address) <= 0xFFFFF && module <= KV_MODULE_ROM &&
                        module != KV_MODULE_BANK_SWITCHER && offset < moduleNibbles[module])
                << "round " << round << ", address " << std::hex << address << ", module " << module;
        }
        m.step(3);
    }
    for (uint32_t id : {KV_MODULE_RAM, KV_MODULE_PORT1, KV_MODULE_PORT2})
        KVSetMemoryModule(id, nullptr, 0);
}

} // namespace
