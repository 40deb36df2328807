#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "engine/core/banks.h"
#include "engine/core/dispatch.h"
#include "engine/core/io_registers.h"
#include "engine/core/lcd.h"
#include "engine/core/memory.h"
#include "engine/core/timers.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Machine;
using test::Value;

namespace {

using Bytes = std::vector<uint8_t>;

void PutLe32(Bytes& record, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        record[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

constexpr uint64_t KnownA = 0x0123456789ABCDEF;
constexpr uint64_t KnownB = 0xFEDCBA9876543210;
constexpr uint32_t KnownRstk[8] = {0x00011, 0x10011, 0x20011, 0x30011, 0x40011, 0x50011, 0x60011, 0x100000};

class Snapshot : public ::testing::Test {
protected:
    Snapshot()
    {
        // Nothing but a restore writes the records of 5 to 7.
        for (uint32_t id = ModuleRom; id < 8; ++id)
            Modules[id].State = Modules[id].Base = Modules[id].SizeMask = 0;
    }

    ~Snapshot() override
    {
        KVConfigure(2, 0);
        for (uint32_t id : {KV_MODULE_RAM, KV_MODULE_PORT1, KV_MODULE_PORT2})
            KVSetMemoryModule(id, nullptr, 0);
    }

    static void setKnownMachine()
    {
        KVConfigure(2, 1);
        Cpu.PC = 0x12345;
        Cpu.D0 = 0xABCDE;
        Cpu.D1 = 0x00F0F;
        test::SetValue(Cpu.A, KnownA);
        test::SetValue(Cpu.B, KnownB);
        test::SetValue(Cpu.C, 1);
        test::SetValue(Cpu.D, 0x8000000000000000);
        for (uint32_t k = 0; k < 8; ++k)
            Cpu.R[k] = {0x100 + k, 0x200 + k};
        Cpu.RstkIndex = 5;
        for (int i = 0; i < 8; ++i)
            Cpu.RSTK[i] = KnownRstk[i];
        SetP(5);
        Cpu.HST = 0xA;
        Cpu.ST = 0x8001;
        Cpu.Carry = 1;
        Cpu.KeyInterruptsEnabled = 1;
        SetLowBank(2);
        SetHighBank(11);
        // I/O at 0x100, RAM over page 0x7F, the bank switcher sized only.
        for (uint32_t value : {0x00100u, 0xFF000u, 0x7F000u, 0xC0000u})
            KVMemoryConfig(value);
        CrcRegister = 0xBEEF;
        PlainRegister1E = 1;
        PlainRegister1F = 2;
        PlainRegister0E = 3;
        PlainRegister09 = 4;
        for (int i = 0; i < 64; ++i)
            IoRegisterShadow[i] = i & 15;
        Timer1Control = 3;
        Timer2Control = 5;
        Timer1 = 9;
        Timer2 = 0xCAFEBABE;
        LeftOffset = 5;
        LineOffset = -2;
        LineCount = 55;
        DisplayAddress = 0x12340;
        MenuAddress = 0x56780;
        Annunciators = 0xA5;
    }

    // The record of the known machine, laid out field by field.
    static Bytes knownRecord()
    {
        Bytes e(358, 0);
        PutLe32(e, 0, 0x12345);
        PutLe32(e, 4, 0xABCDE);
        PutLe32(e, 8, 0x00F0F);
        const uint32_t halves[8] = {0x89ABCDEF, 0x01234567, 0x76543210, 0xFEDCBA98, 1, 0, 0, 0x80000000};
        for (size_t i = 0; i < 8; ++i)
            PutLe32(e, 12 + 4 * i, halves[i]);
        for (uint32_t k = 0; k < 8; ++k) {
            PutLe32(e, 44 + 8 * k, 0x100 + k);
            PutLe32(e, 48 + 8 * k, 0x200 + k);
        }
        PutLe32(e, 108, 5);
        for (size_t i = 0; i < 8; ++i)
            PutLe32(e, 112 + 4 * i, KnownRstk[i]);
        PutLe32(e, 144, 0x80010AA5); // ST 8001, key interrupts, carry, HST A, P 5
        PutLe32(e, 148, 2);
        PutLe32(e, 152, 11);
        const uint32_t modules[5][3] = {
            {2, 0x00100, 0xFFFC0}, {2, 0x7F000, 0xFF000}, {1, 0, 0xC0000}, {0, 0, 0xFF000}, {0, 0, 0xFF000}};
        for (size_t id = 0; id < 5; ++id) {
            for (size_t f = 0; f < 3; ++f)
                PutLe32(e, 156 + 12 * id + 4 * f, modules[id][f]);
        }
        PutLe32(e, 252, 0xBEEF);
        e[257] = 1;
        e[258] = 2;
        e[259] = 3;
        e[260] = 4;
        for (size_t i = 0; i < 64; ++i)
            e[262 + i] = i & 15;
        e[326] = 3;
        e[327] = 5;
        e[328] = 9;
        PutLe32(e, 330, 0xCAFEBABE);
        PutLe32(e, 334, 5);
        PutLe32(e, 338, 0xFFFFFFFE);
        PutLe32(e, 342, 55);
        PutLe32(e, 346, 0x12340);
        PutLe32(e, 350, 0x56780);
        e[354] = 0xA5;
        return e;
    }

    Machine m;
};

TEST_F(Snapshot, TheRecordHoldsEachFieldAtItsOffsetAndShortBuffersAreRefused)
{
    setKnownMachine();
    Bytes buffer(512, 0xEE);
    EXPECT_EQ(KVSaveState(buffer.data(), 512), 1u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 358), knownRecord());
    EXPECT_EQ(buffer[358], 0xEE);

    Bytes exact(358, 0xEE);
    EXPECT_EQ(KVSaveState(exact.data(), 358), 0u);
    EXPECT_EQ(exact, knownRecord());

    Bytes shortBuffer(357, 0xEE);
    EXPECT_EQ(KVSaveState(shortBuffer.data(), 357), 0u);
    EXPECT_EQ(shortBuffer, Bytes(357, 0xEE));
    EXPECT_EQ(KVSaveState(nullptr, 512), 0u);

    Cpu.PC = 0x777;
    EXPECT_EQ(KVRestoreState(shortBuffer.data(), 357), 0u);
    EXPECT_EQ(KVRestoreState(nullptr, 512), 0u);
    EXPECT_EQ(Cpu.PC, 0x777u);
}

TEST_F(Snapshot, RestoreBringsBackEveryFieldButOutInAndTheCycleTotal)
{
    setKnownMachine();
    Bytes record(512);
    KVSaveState(record.data(), 512);

    std::memset(&Cpu, 0x5A, offsetof(CpuState, P));
    Cpu.OUT = 0x123;
    Cpu.IN = 0x8001;
    Cpu.TotalCycles = 777;
    Cpu.SliceCycles = 0;
    SetLowBank(0);
    KVMemoryReset();
    CrcRegister = PlainRegister09 = Timer1 = Timer2 = LeftOffset = LineCount = DisplayAddress = 0;
    LineOffset = 0;
    IoRegisterShadow[7] = 0;
    Annunciators = 0;

    EXPECT_EQ(KVRestoreState(record.data(), 512), 1u);
    EXPECT_EQ(Cpu.PC, 0x12345u);
    EXPECT_EQ(Value(Cpu.B), KnownB);
    EXPECT_EQ(Cpu.PShift, 20u);
    EXPECT_EQ(PageModuleMask[0x00], 0x21u);
    EXPECT_EQ(PageModuleMask[0x7F], 0x22u);
    EXPECT_EQ(PageModuleMask[0x7E], 0x20u);
    EXPECT_EQ(LineOffset, -2);
    EXPECT_EQ(KVGetRegister(KV_REG_CYCLES_LOW), 777u);
    EXPECT_EQ(Cpu.OUT, 0x123);
    EXPECT_EQ(Cpu.IN, 0x8001);

    // Every other field: the record it gives again is the one it came from.
    Bytes again(512);
    KVSaveState(again.data(), 512);
    EXPECT_EQ(Bytes(again.begin(), again.begin() + 358), Bytes(record.begin(), record.begin() + 358));
}

TEST_F(Snapshot, TheSavedModeWinsAndTheRegistersKeepTheirValues)
{
    test::SetValue(Cpu.C, 0x9876543210);
    SwitchToDecimal();
    Bytes decimal(512);
    KVSaveState(decimal.data(), 512);
    SwitchToHex();
    test::SetValue(Cpu.C, 0);
    KVRestoreState(decimal.data(), 512);
    EXPECT_EQ(Cpu.DecimalMode, 1);
    EXPECT_EQ(ActiveDispatchTable, DecimalDispatchTable.data());
    EXPECT_EQ(ReadWord<true>(Cpu.C), 0x9876543210u);

    SwitchToHex();
    Bytes hex(512);
    KVSaveState(hex.data(), 512);
    SwitchToDecimal();
    test::SetValue(Cpu.C, 0);
    KVRestoreState(hex.data(), 512);
    EXPECT_EQ(ActiveDispatchTable, HexDispatchTable.data());
    EXPECT_EQ(ReadWord<false>(Cpu.C), 0x9876543210u);
}

TEST_F(Snapshot, OnlyConfiguredChainModulesAreMappedByThePageRule)
{
    Bytes record(512, 0);
    auto module = [&](size_t id, uint32_t state, uint32_t base, uint32_t size) {
        PutLe32(record, 156 + 12 * id, state);
        PutLe32(record, 160 + 12 * id, base);
        PutLe32(record, 164 + 12 * id, size);
    };
    module(1, 2, 0x80000, 0xC0000);
    module(3, 1, 0x00000, 0x00000); // sized, not configured: maps nothing
    module(6, 2, 0x00000, 0x00000); // 6 and 7 are no modules
    module(7, 2, 0x00000, 0x00000);
    KVRestoreState(record.data(), 512);
    for (uint32_t page = 0; page < 256; ++page)
        ASSERT_EQ(PageModuleMask[page], page >= 0x80 && page <= 0xBF ? 0x22u : 0x20u) << page;
}

TEST_F(Snapshot, EveryRestoredFieldIsCutToItsWidth)
{
    KVConfigure(2, 1);
    const Bytes ones(512, 0xFF);
    KVRestoreState(ones.data(), 512);
    EXPECT_EQ(Cpu.PC | Cpu.D0 | Cpu.D1, 0xFFFFFu);
    EXPECT_EQ(Cpu.RstkIndex, 7u);
    EXPECT_EQ(Cpu.PShift, 60u);
    EXPECT_EQ(Cpu.DecimalMode, 1);
    for (uint8_t nibble : Cpu.A.Nibbles)
        EXPECT_EQ(nibble, 15);
    EXPECT_EQ(KVGetRegister(KV_REG_LOW_BANK), 3u);
    EXPECT_EQ(KVGetRegister(KV_REG_HIGH_BANK), 15u);
    EXPECT_EQ(Modules[ModuleIo].Base, 0xFFFC0u);
    EXPECT_EQ(Modules[ModuleRam].SizeMask, 0xFFFFFu);
    EXPECT_EQ(Modules[ModuleRam].State, 0u);
    EXPECT_EQ(PageModuleMask[0xFF], 0x20u);
    EXPECT_EQ(CrcRegister, 0xFFFFu);
    EXPECT_EQ(PlainRegister1E | PlainRegister1F | PlainRegister0E | PlainRegister09, 0xF);
    EXPECT_EQ(IoRegisterShadow[63], 0xF);
    EXPECT_EQ(Timer1Control | Timer2Control | Timer1, 0xF);
    EXPECT_EQ(Timer2, 0xFFFFFFFFu);
    EXPECT_EQ(LeftOffset, 7u);
    EXPECT_EQ(LineOffset, -1);
    EXPECT_EQ(LineCount, 63u);
    EXPECT_EQ(DisplayAddress | MenuAddress, 0xFFFFFu);
}

// Random records must not lead any later access outside the lent buffers;
// the sanitizer build watches every read.
TEST_F(Snapshot, RandomRecordsRestoreIntoAMachineThatStillRunsSafely)
{
    std::vector<uint8_t> ram = test::NibbleBuffer(0x1000);
    std::vector<uint8_t> port1 = test::NibbleBuffer(0x1000);
    std::vector<uint8_t> port2 = test::NibbleBuffer(0x2000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFF);
    KVSetMemoryModule(KV_MODULE_PORT1, port1.data(), 0xFFF);
    KVSetMemoryModule(KV_MODULE_PORT2, port2.data(), 0x1FFF);
    std::mt19937 random(49);
    Bytes record(512);
    uint32_t sum = 0;
    for (int round = 0; round < 3000; ++round) {
        KVConfigure(2, round & 1);
        for (uint8_t& byte : record)
            byte = static_cast<uint8_t>(random());
        KVRestoreState(record.data(), 512);
        for (uint32_t page = 0; page < 256; ++page) {
            const uint32_t address = page << 12 | (random() & 0xFFF);
            sum += ReadNibble(address) + ReadAddress(address);
            sum += PageFetchPointer[page][0xFFF + 5];
            uint32_t module = 0;
            sum += KVTranslateAddress(address, &module) + module;
        }
        m.step(3);
    }
    SUCCEED() << sum;
}

} // namespace
