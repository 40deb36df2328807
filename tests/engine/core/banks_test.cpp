#include <gtest/gtest.h>

#include "engine/core/banks.h"
#include "engine/core/memory.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Machine;

namespace {

// The I/O window in page 0x00, RAM (no buffer) in 0x7F, the bank switcher in
// 0x7E, port 1 in 0x7D and port 2 over 0xC0000-0xFFFFF: the high window.
constexpr uint32_t SwitcherPage = 0x7E000;
constexpr uint32_t Port2Base = 0xC0000;

uint32_t SwitcherAddress(uint32_t low, uint32_t high)
{
    return SwitcherPage | low << 5 | high << 1;
}

class Banks : public ::testing::Test {
protected:
    Banks()
    {
        KVConfigure(2, 1);
        SetFlashWriteEnable(false);
        FlashStatus = 0x80;
        // Every nibble of bank b holds b.
        for (uint32_t offset = 0; offset < RomNibbles; ++offset)
            m.Rom[offset] = static_cast<uint8_t>(offset / 0x40000);
        configureChain();
    }

    static void configureChain()
    {
        KVMemoryReset();
        for (uint32_t value : {0x00100u, 0xFF000u, 0x7F000u, 0xFF000u, SwitcherPage, 0xFF000u, 0x7D000u,
                               0xC0000u, Port2Base})
            KVMemoryConfig(value);
    }

    ~Banks() override
    {
        SetFlashWriteEnable(false);
        KVSetMemoryModule(KV_MODULE_PORT2, nullptr, 0);
        KVConfigure(2, 0);
    }

    void selectBanks(uint32_t low, uint32_t high) { ReadNibble(SwitcherAddress(low, high)); }

    // Flash writing through port 2, which maps the flash like the ROM.
    void enableFlash()
    {
        KVSetMemoryModule(KV_MODULE_PORT2, port2.data(), 0xFFF);
        SetFlashWriteEnable(true);
    }

    // A byte goes as two nibbles: low at the even address, high at the odd.
    void writeByte(uint32_t address, uint8_t byte)
    {
        WriteNibble(address, byte & 0xF);
        WriteNibble(address + 1, byte >> 4);
    }

    uint32_t status() { return ReadNibble(Port2Base + 1) << 4 | ReadNibble(Port2Base); }

    void erase(uint32_t offset, uint32_t nibbles)
    {
        for (uint32_t i = 0; i < nibbles; ++i)
            m.Rom[offset + i] = 0xF;
    }

    Machine m;
    std::vector<uint8_t> port2 = test::NibbleBuffer(0x1000);
};

TEST_F(Banks, TheSwitcherSelectsBanksByItsAddressAndBothWindowsFollow)
{
    for (uint32_t low = 0; low < 4; ++low) {
        for (uint32_t high = 0; high < 16; ++high) {
            // The switcher's page lies in the high window: the read already
            // comes from the bank it selects.
            EXPECT_EQ(ReadNibble(SwitcherAddress(low, high)), high);
            EXPECT_EQ(KVGetRegister(KV_REG_LOW_BANK), low);
            EXPECT_EQ(KVGetRegister(KV_REG_HIGH_BANK), high);
            for (uint32_t address : {0x01234u, 0x81234u, 0xBFFFFu})
                EXPECT_EQ(ReadNibble(address), low) << std::hex << address;
            for (uint32_t address : {0x41234u, 0x7CFFFu})
                EXPECT_EQ(ReadNibble(address), high) << std::hex << address;
            EXPECT_EQ(PageFetchPointer[0x81][0x234], low);
            EXPECT_EQ(PageFetchPointer[0x41][0x234], high);
            uint32_t module = 0;
            EXPECT_EQ(KVTranslateAddress(0x41234, &module), high * 0x40000 + 0x1234);
            EXPECT_EQ(module, uint32_t{KV_MODULE_ROM});
        }
    }
}

TEST_F(Banks, FiveNibbleReadsAndWritesSelectBanksNibbleByNibble)
{
    // Nibbles at 0x7E01E..0x7E022 select high banks 15, 15, 0, 0, 1.
    EXPECT_EQ(ReadAddress(0x7E01E), 0x100FFu);
    EXPECT_EQ(KVGetRegister(KV_REG_LOW_BANK), 1u);
    EXPECT_EQ(KVGetRegister(KV_REG_HIGH_BANK), 1u);

    // Bits 5-6 = 2 and bits 1-4 = 9.
    WriteNibble(0x7E052, 0xC);
    EXPECT_EQ(KVGetRegister(KV_REG_LOW_BANK), 2u);
    EXPECT_EQ(KVGetRegister(KV_REG_HIGH_BANK), 9u);
    EXPECT_EQ(m.Rom[9 * 0x40000 + 0x3E052], 9) << "the switcher stores nothing";
}

TEST_F(Banks, ModeChangesAttachAndResetBringBothBanksBackToZero)
{
    selectBanks(2, 9);
    KVConfigure(2, 1); // again, with the ROM already attached
    EXPECT_EQ(ReadNibble(0x41234), 0u);
    EXPECT_EQ(KVGetRegister(KV_REG_HIGH_BANK), 0u);

    selectBanks(3, 12);
    KVSetMemoryModule(KV_MODULE_ROM, m.Rom.data(), RomNibbles - 1);
    EXPECT_EQ(ReadNibble(0x41234) + ReadNibble(0x01234), 0u);

    KVSetRegister(KV_REG_LOW_BANK, 6);
    KVSetRegister(KV_REG_HIGH_BANK, 0x1F);
    EXPECT_EQ(ReadNibble(0x01234), 2u);
    EXPECT_EQ(ReadNibble(0x41234), 15u);

    // Without the HP 49G hardware the ROM is flat and the switcher only
    // passes reads through.
    KVConfigure(2, 0);
    EXPECT_EQ(ReadNibble(0xA1234), 2u);
    EXPECT_EQ(ReadNibble(SwitcherAddress(2, 9)), 1u);
    KVSetRegister(KV_REG_LOW_BANK, 2);
    EXPECT_EQ(KVGetRegister(KV_REG_LOW_BANK) + KVGetRegister(KV_REG_HIGH_BANK), 0u);
    EXPECT_EQ(KVTranslateAddress(0xA1234, nullptr), 0xA1234u);

    KVConfigure(2, 1);
    configureChain();
    selectBanks(1, 5);
    KVReset();
    EXPECT_EQ(ReadNibble(0x01234) + ReadNibble(0x41234), 0u);
}

TEST_F(Banks, ProgrammingClearsBitsOutsideTheBootBlockAndReportsThroughStatus)
{
    enableFlash();
    erase(0x20010, 2);
    writeByte(0xE0010, 0x40); // offset 0x20010: the second block
    writeByte(0xE0010, 0x5A);
    EXPECT_EQ(ReadNibble(0xE0010), 0u) << "status mode, low nibble";
    CrcRegister = 0;
    EXPECT_EQ(ReadNibble(0xE0011), 8u) << "status mode, high nibble";
    EXPECT_EQ(CrcRegister, 0x8408u);
    writeByte(0xE0010, 0xFF);
    EXPECT_EQ(ReadNibble(0xE0010), 0xAu);
    EXPECT_EQ(ReadNibble(0xE0011), 0x5u);
    EXPECT_EQ(ReadNibble(0x20010), 0xAu) << "the ROM's own window sees the flash";
    EXPECT_EQ(port2[0x10], 0) << "port 2's buffer is not the flash";

    // Clearing bits is allowed; a 0 that would become 1 is refused.
    writeByte(Port2Base, 0x40);
    writeByte(0xE0010, 0x50);
    writeByte(Port2Base, 0x40);
    writeByte(0xE0010, 0x51);
    EXPECT_EQ(status(), 0x90u);
    EXPECT_EQ(m.Rom[0x20010] | m.Rom[0x20011] << 4, 0x50);

    writeByte(Port2Base, 0x50);
    EXPECT_EQ(status(), 0x80u) << "clear status keeps status mode";

    // The boot block refuses even an erased byte.
    erase(0x100, 2);
    writeByte(Port2Base, 0x10);
    writeByte(0xC0100, 0x12);
    EXPECT_EQ(status(), 0x90u);
    EXPECT_EQ(m.Rom[0x100], 0xF);

    // In another bank, through the switcher.
    writeByte(Port2Base, 0xFF);
    selectBanks(0, 5);
    erase(5 * 0x40000 + 0x222, 2);
    writeByte(0xC0222, 0x40);
    writeByte(0xC0222, 0x3C);
    EXPECT_EQ(m.Rom[5 * 0x40000 + 0x222], 0xC);
    EXPECT_EQ(m.Rom[5 * 0x40000 + 0x223], 0x3);
}

TEST_F(Banks, EraseFillsTheWholeBlockAtOnceAlsoTheBootBlock)
{
    enableFlash();
    selectBanks(0, 2);
    writeByte(Port2Base + 0x25432, 0x20); // offset 0xA5432: block 0xA0000
    for (uint32_t offset = 0xA0000; offset < 0xC0000; ++offset)
        ASSERT_EQ(m.Rom[offset], 0xF) << std::hex << offset;
    EXPECT_EQ(m.Rom[0x9FFFF], 2);
    EXPECT_EQ(m.Rom[0xC0000], 3);
    EXPECT_EQ(status(), 0x80u);

    selectBanks(0, 0);
    writeByte(Port2Base + 0x1FFFE, 0x20);
    EXPECT_EQ(m.Rom[0x0], 0xF);
    EXPECT_EQ(m.Rom[0x1FFFF], 0xF);
    EXPECT_EQ(m.Rom[0x20000], 0);
}

TEST_F(Banks, BufferedWritesProgramOnlyOnAConfirmAtTheLastByte)
{
    enableFlash();
    const uint32_t a = 0xF0000; // offset 0x30000
    auto buffered = [&](uint8_t countMinusOne) {
        writeByte(a, 0xE8);
        writeByte(a, countMinusOne);
    };

    erase(0x30000, 10);
    buffered(1);
    writeByte(a + 2, 0x12);
    writeByte(a + 4, 0x34);
    writeByte(a + 4, 0xD0);
    EXPECT_EQ(status(), 0x80u);
    EXPECT_EQ(std::vector<uint8_t>(&m.Rom[0x30000], &m.Rom[0x30008]), (std::vector<uint8_t>{15, 15, 2, 1, 4, 3, 15, 15}));

    // Confirm at the first byte's offset: nothing is programmed.
    writeByte(a, 0x50);
    buffered(1);
    writeByte(a + 6, 0x56);
    writeByte(a + 8, 0x78);
    writeByte(a + 6, 0xD0);
    EXPECT_EQ(status(), 0x90u);
    EXPECT_EQ(m.Rom[0x30006] & m.Rom[0x30009], 0xF);

    // A data byte out of sequence fails at once.
    writeByte(a, 0x50);
    buffered(1);
    writeByte(a + 4, 0x56);
    writeByte(a + 8, 0x78);
    EXPECT_EQ(status(), 0x90u);

    // A count of 33 is dropped without an error.
    writeByte(a, 0x50);
    buffered(0x20);
    EXPECT_EQ(status(), 0x80u);

    // A refused byte (a 0 that would become 1) does not stop the others.
    m.Rom[0x30008] = 0;
    m.Rom[0x30009] = 0;
    buffered(1);
    writeByte(a + 6, 0x56);
    writeByte(a + 8, 0x78);
    writeByte(a + 8, 0xD0);
    EXPECT_EQ(status(), 0x90u);
    EXPECT_EQ(m.Rom[0x30006], 6);
    EXPECT_EQ(m.Rom[0x30008] | m.Rom[0x30009], 0);
}

TEST_F(Banks, IdentifierModeShowsOnlyTheBootBlockLocked)
{
    enableFlash();
    writeByte(Port2Base, 0x90);
    EXPECT_EQ(ReadNibble(0xC0008), 1u);
    EXPECT_EQ(ReadNibble(0xE0008), 0u);
    EXPECT_EQ(ReadNibble(0xC0009), 0u);
    selectBanks(0, 7);
    EXPECT_EQ(ReadNibble(0x41234), 0u);
    EXPECT_EQ(ReadNibble(0xC0008), 0u);
}

TEST_F(Banks, FetchFromFlashIsBlankUntilReadArrayAndPlainAccessReturnsOnDisable)
{
    enableFlash();
    writeByte(Port2Base, 0x70);
    selectBanks(1, 1); // recomputes the fetch pointers
    for (unsigned page : {0x00u, 0x41u, 0xC0u})
        EXPECT_EQ(PageFetchPointer[page], BlankPage) << page;
    writeByte(Port2Base, 0xFF);
    selectBanks(1, 1);
    EXPECT_EQ(PageFetchPointer[0x41], &m.Rom[0x41000]);
    EXPECT_EQ(PageFetchPointer[0xC1], &m.Rom[0x41000]);

    // Without a ROM buffer there is no flash: zeros, writes ignored, and
    // the flash comes back in read-array mode.
    writeByte(Port2Base, 0x70);
    KVSetMemoryModule(KV_MODULE_ROM, nullptr, 0);
    writeByte(Port2Base, 0x20);
    EXPECT_EQ(ReadNibble(0xC1234) + ReadNibble(0x01234), 0u);
    KVSetMemoryModule(KV_MODULE_ROM, m.Rom.data(), RomNibbles - 1);
    EXPECT_EQ(m.Rom[0x40000], 1);
    selectBanks(0, 3);
    EXPECT_EQ(ReadNibble(0xC0000), 3u) << "attached again: flash in read array";

    // Disabled, port 2 is itself again and the ROM ignores writes.
    writeByte(Port2Base, 0x70);
    SetFlashWriteEnable(false);
    EXPECT_EQ(FlashState, uint32_t{FlashReadArray});
    writeByte(Port2Base + 4, 0x9B);
    EXPECT_EQ(port2[4], 0xB);
    EXPECT_EQ(ReadNibble(0xC0005), 9u);
    EXPECT_EQ(ReadNibble(0x41234), 3u);
}

} // namespace
