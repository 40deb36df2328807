#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/core/banks.h"
#include "engine/core/flash.h"
#include "engine/core/memory.h"
#include "tests/support/machine.h"

using namespace korvane;

namespace {

// The I/O window in page 0x00, RAM (no buffer) in 0x7F, the bank switcher in
// 0x7E, port 1 in 0x7D and port 2 over 0xC0000-0xFFFFF: the high window.
constexpr uint32_t SwitcherPage = 0x7E000;
constexpr uint32_t Port2Base = 0xC0000;

struct Banks : ::testing::Test {
    Banks()
    {
        KVConfigure(KV_CONFIG_HP49, 1);
        SetFlashWriteEnable(false);
        Flash.Status = FlashReady;
        for (uint32_t offset = 0; offset < RomNibbles; ++offset)
            m.Rom[offset] = static_cast<uint8_t>(offset / 0x40000); // every nibble of bank b holds b
        configureChain();
    }
    ~Banks() override
    {
        SetFlashWriteEnable(false);
        KVSetMemoryModule(KV_MODULE_PORT2, nullptr, 0);
        KVConfigure(KV_CONFIG_HP49, 0);
    }

    static void configureChain()
    {
        KVMemoryReset();
        for (uint32_t v : {0x00100u, 0xFF000u, 0x7F000u, 0xFF000u, SwitcherPage, 0xFF000u, 0x7D000u, 0xC0000u, Port2Base})
            KVMemoryConfig(v);
    }
    // Bits 5-6 of the switcher's address pick the low bank, bits 1-4 the high.
    static uint32_t switcher(uint32_t low, uint32_t high) { return SwitcherPage | low << 5 | high << 1; }
    static void selectBanks(uint32_t low, uint32_t high) { ReadNibble(switcher(low, high)); }
    static uint32_t banks() { return KVGetRegister(KV_REG_LOW_BANK) << 4 | KVGetRegister(KV_REG_HIGH_BANK); }

    // Flash writing goes through port 2, which then maps the flash.
    void enableFlash()
    {
        KVSetMemoryModule(KV_MODULE_PORT2, port2.data(), 0xFFF);
        SetFlashWriteEnable(true);
    }
    // A byte goes as two nibbles: low at the even address, high at the odd.
    static void writeByte(uint32_t address, uint8_t byte)
    {
        WriteNibble(address, byte & 0xF);
        WriteNibble(address + 1, byte >> 4);
    }
    static uint32_t status() { return ReadNibble(Port2Base + 1) << 4 | ReadNibble(Port2Base); }
    void erase(uint32_t offset, uint32_t nibbles) { std::fill_n(&m.Rom[offset], nibbles, 0xF); }

    test::Machine m;
    std::vector<uint8_t> port2 = test::NibbleBuffer(0x1000);
};

TEST_F(Banks, TheSwitcherSelectsBanksByItsAddressAndBothWindowsFollow)
{
    for (uint32_t low = 0; low < 4; ++low) {
        for (uint32_t high = 0; high < 16; ++high) {
            // The switcher's page lies in the high window: the read already
            // comes from the bank it selects.
            EXPECT_EQ(ReadNibble(switcher(low, high)), high);
            EXPECT_EQ(banks(), low << 4 | high);
            EXPECT_EQ(ReadNibble(0x01234) | ReadNibble(0xBFFFF) << 4, low * 0x11);
            EXPECT_EQ(ReadNibble(0x41234) | ReadNibble(0x7CFFF) << 4, high * 0x11);
            EXPECT_EQ(Memory.Pages.Fetch[0x81][0x234] << 4 | Memory.Pages.Fetch[0x41][0x234], low << 4 | high);
            uint32_t module = 0;
            const uint32_t offset = KVTranslateAddress(0x41234, &module);
            EXPECT_EQ(std::pair(offset, module), std::pair(high * 0x40000 + 0x1234, uint32_t{KV_MODULE_ROM}));
        }
    }
    // Five-nibble reads select nibble by nibble: 0x7E01E..0x7E022 pick high
    // banks 15, 15, 0, 0, 1. A write selects too and stores nothing.
    EXPECT_EQ(ReadAddress(0x7E01E), 0x100FFu);
    WriteNibble(0x7E052, 0xC);
    EXPECT_EQ(std::tuple(banks(), m.Rom[9 * 0x40000 + 0x3E052]), std::tuple(0x29u, 9));
}

TEST_F(Banks, ModeChangesAttachAndResetBringBothBanksBackToZero)
{
    selectBanks(2, 9);
    KVConfigure(KV_CONFIG_HP49, 1); // again, with the ROM already attached
    EXPECT_EQ(ReadNibble(0x41234), 0u);
    selectBanks(3, 12);
    KVSetMemoryModule(KV_MODULE_ROM, m.Rom.data(), RomNibbles - 1);
    EXPECT_EQ(ReadNibble(0x41234) + ReadNibble(0x01234), 0u);
    KVSetRegister(KV_REG_LOW_BANK, 6);
    KVSetRegister(KV_REG_HIGH_BANK, 0x1F);
    EXPECT_EQ(ReadNibble(0x01234) << 4 | ReadNibble(0x41234), 0x2Fu);

    // Without the HP 49G hardware the ROM is flat and the switcher passes
    // reads through.
    KVConfigure(KV_CONFIG_HP49, 0);
    EXPECT_EQ(ReadNibble(0xA1234), 2u);
    EXPECT_EQ(ReadNibble(switcher(2, 9)), 1u);
    KVSetRegister(KV_REG_LOW_BANK, 2);
    EXPECT_EQ(std::tuple(banks(), KVTranslateAddress(0xA1234, nullptr)), std::tuple(0u, 0xA1234u));

    KVConfigure(KV_CONFIG_HP49, 1);
    configureChain();
    selectBanks(1, 5);
    KVReset();
    EXPECT_EQ(ReadNibble(0x01234) + ReadNibble(0x41234), 0u);
}

TEST_F(Banks, ProgramAndEraseOnlyClearBitsAndReportThroughStatus)
{
    enableFlash();
    erase(0x20010, 2);
    writeByte(0xE0010, 0x40); // offset 0x20010: the second block
    writeByte(0xE0010, 0x5A);
    EXPECT_EQ(ReadNibble(0xE0010), 0u) << "status mode";
    CrcRegister = 0;
    EXPECT_EQ(ReadNibble(0xE0011), 8u);
    EXPECT_EQ(CrcRegister, 0x8408u) << "status reads feed the CRC";
    writeByte(0xE0010, 0xFF);
    EXPECT_EQ(ReadNibble(0xE0011) << 4 | ReadNibble(0xE0010), 0x5Au);
    EXPECT_EQ(ReadNibble(0x20010), 0xAu) << "the ROM's own window sees the flash";
    EXPECT_EQ(port2[0x10], 0) << "port 2's buffer is not the flash";

    // A 0 that would become 1 is refused; clear status keeps status mode.
    for (uint8_t byte : {0x50, 0x51, 0x70}) { // a 0 in the low nibble, then in the high one
        writeByte(Port2Base, 0x40);
        writeByte(0xE0010, byte);
    }
    EXPECT_EQ(std::tuple(status(), m.Rom[0x20010] | m.Rom[0x20011] << 4), std::tuple(0x90u, 0x50));
    writeByte(Port2Base, 0x50);
    EXPECT_EQ(status(), 0x80u);

    // The boot block refuses even an erased byte.
    erase(0x1FFF0, 2);
    writeByte(Port2Base, 0x10);
    writeByte(0xDFFF0, 0x12);
    EXPECT_EQ(std::tuple(status(), m.Rom[0x1FFF0]), std::tuple(0x90u, 0xF));

    // In another bank, through the switcher.
    writeByte(Port2Base, 0xFF);
    selectBanks(0, 5);
    erase(5 * 0x40000 + 0x222, 2);
    writeByte(0xC0222, 0x40);
    writeByte(0xC0222, 0x3C);
    EXPECT_EQ(m.Rom[5 * 0x40000 + 0x222] | m.Rom[5 * 0x40000 + 0x223] << 4, 0x3C);

    // An erase fills its whole block at once, the boot block's too.
    writeByte(Port2Base, 0x50);
    selectBanks(0, 2);
    writeByte(Port2Base + 0x25432, 0x20); // offset 0xA5432: block 0xA0000
    EXPECT_EQ(std::count(&m.Rom[0xA0000], &m.Rom[0xC0000], 0xF), 0x20000);
    EXPECT_EQ(std::tuple(m.Rom[0x9FFFF] << 4 | m.Rom[0xC0000], status()), std::tuple(0x23, 0x80u));
    selectBanks(0, 0);
    writeByte(Port2Base + 0x1FFFE, 0x20);
    EXPECT_EQ(std::tuple(std::count(&m.Rom[0], &m.Rom[0x20000], 0xF), m.Rom[0x20000]), std::tuple(0x20000, 0));

    // Identifier mode shows only the boot block locked.
    writeByte(Port2Base, 0x90);
    EXPECT_EQ(ReadNibble(0xC0008) << 8 | ReadNibble(0xE0008) << 4 | ReadNibble(0xC0009), 0x100u);
    selectBanks(0, 7);
    EXPECT_EQ(ReadNibble(0xC0008), 0u);
}

TEST_F(Banks, BufferedWritesProgramOnlyOnAConfirmAtTheLastByte)
{
    enableFlash();
    const uint32_t a = 0xF0000; // offset 0x30000
    auto buffered = [&](uint8_t countMinusOne, std::initializer_list<std::pair<uint32_t, uint8_t>> bytes) {
        writeByte(a, 0x50);
        writeByte(a, 0xE8);
        writeByte(a, countMinusOne);
        for (auto [at, byte] : bytes)
            writeByte(a + at, byte);
        return status();
    };
    const auto rom = [&](uint32_t at, uint32_t count) {
        return std::vector<uint8_t>(&m.Rom[0x30000 + at], &m.Rom[0x30000 + at + count]);
    };
    erase(0x30000, 10);
    EXPECT_EQ(buffered(1, {{2, 0x12}, {4, 0x34}, {4, 0xD0}}), 0x80u);
    EXPECT_EQ(rom(0, 8), (std::vector<uint8_t>{15, 15, 2, 1, 4, 3, 15, 15}));

    EXPECT_EQ(buffered(1, {{6, 0x56}, {8, 0x78}, {6, 0xD0}}), 0x90u) << "a confirm at the first byte";
    EXPECT_EQ(rom(6, 4), std::vector<uint8_t>(4, 15));
    EXPECT_EQ(buffered(1, {{4, 0x56}, {8, 0x78}}), 0x90u) << "a data byte out of sequence";
    EXPECT_EQ(buffered(0x20, {}), 0x80u) << "a count of 33 is dropped without an error";

    // A refused byte (a 0 that would become 1) does not stop the others.
    m.Rom[0x30006] = m.Rom[0x30007] = 0;
    EXPECT_EQ(buffered(1, {{6, 0x56}, {8, 0x78}, {8, 0xD0}}), 0x90u);
    EXPECT_EQ(rom(6, 4), (std::vector<uint8_t>{0, 0, 8, 7}));
}

TEST_F(Banks, FetchFromFlashIsBlankUntilReadArrayAndPlainAccessReturnsOnDisable)
{
    // Fetch follows the flash's state at once, with no bank selected since.
    enableFlash();
    writeByte(Port2Base, 0x70);
    for (unsigned page : {0x00u, 0x41u, 0xC0u})
        EXPECT_EQ(Memory.Pages.Fetch[page], BlankPage) << page;
    writeByte(Port2Base, 0xFF);
    EXPECT_EQ(Memory.Pages.Fetch[0x41], &m.Rom[0x01000]);
    selectBanks(1, 1);
    EXPECT_EQ(Memory.Pages.Fetch[0x41], &m.Rom[0x41000]);
    EXPECT_EQ(Memory.Pages.Fetch[0xC1], &m.Rom[0x41000]);

    // Without a ROM buffer there is no flash: zeros, writes ignored, and the
    // flash comes back in read-array mode.
    writeByte(Port2Base, 0x70);
    KVSetMemoryModule(KV_MODULE_ROM, nullptr, 0);
    writeByte(Port2Base, 0x20);
    EXPECT_EQ(ReadNibble(0xC1234) + ReadNibble(0x01234), 0u);
    KVSetMemoryModule(KV_MODULE_ROM, m.Rom.data(), RomNibbles - 1);
    selectBanks(0, 3);
    EXPECT_EQ(m.Rom[0x40000] << 4 | ReadNibble(0xC0000), 0x13);

    // Disabled, port 2 is itself again and the ROM ignores writes.
    writeByte(Port2Base, 0x70);
    SetFlashWriteEnable(false);
    EXPECT_EQ(Flash.State, uint32_t{FlashReadArray});
    writeByte(Port2Base + 4, 0x9B);
    EXPECT_EQ(port2[4] << 8 | ReadNibble(0xC0005) << 4 | ReadNibble(0x41234), 0xB93u);

    // A ROM attached while flash writing is enabled reads plainly until the
    // enable register is written again.
    enableFlash();
    writeByte(Port2Base, 0x70); // read status: odd nibbles read 8
    EXPECT_EQ(ReadNibble(0x00001), 8u);
    KVSetMemoryModule(KV_MODULE_ROM, m.Rom.data(), RomNibbles - 1);
    EXPECT_EQ(ReadNibble(0x00001), 0u) << "bank 0's own nibble";
    SetFlashWriteEnable(true);
    EXPECT_EQ(ReadNibble(0x00001), 8u);
}

} // namespace
