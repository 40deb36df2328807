#include <gtest/gtest.h>

#include <random>

#include "engine/core/memory.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Machine;
using test::NibbleBuffer;

namespace {

// CRC-16 with the reflected polynomial 0x8408, four bits per nibble, bit by bit.
uint32_t BitwiseCrc(uint32_t crc, uint32_t nibble)
{
    crc ^= nibble & 15;
    for (int bit = 0; bit < 4; ++bit)
        crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    return crc;
}

// The chain a host runs before placing an object in port 1.
void ConfigurePort1Chain()
{
    KVMemoryReset();
    for (uint32_t value : {0x00100u, 0xF0000u, 0x70000u, 0xF0000u, 0x70000u, 0x80000u, 0x80000u})
        KVMemoryConfig(value);
}

uint32_t ModuleAt(uint32_t address)
{
    uint32_t module = 99;
    KVTranslateAddress(address, &module);
    return module;
}

TEST(MemoryController, WithoutBuffersEveryReadIsZeroAndFetchSeesTheBlankPage)
{
    Machine m;
    KVSetMemoryModule(KV_MODULE_ROM, nullptr, 0);
    for (unsigned page = 0; page < 256; ++page)
        ASSERT_EQ(PageFetchPointer[page], BlankPage) << page;
    EXPECT_EQ(ReadNibble(0x12345), 0u);
    EXPECT_EQ(ReadAddress(0xFFFFE), 0u);
    WriteNibble(0x00000, 7);
    EXPECT_EQ(ModuleAt(0x54321), ModuleRom) << "the ROM is mapped under every page even without a buffer";
}

TEST(MemoryController, PriorityIsTheLowestConfiguredModuleThenTheRom)
{
    EXPECT_EQ(ModulePriority[0b111111], ModuleIo);
    EXPECT_EQ(ModulePriority[0b111110], ModuleRam);
    EXPECT_EQ(ModulePriority[0b111100], ModuleBankSwitcher);
    EXPECT_EQ(ModulePriority[0b111000], ModulePort1);
    EXPECT_EQ(ModulePriority[0b110000], ModulePort2);
    EXPECT_EQ(ModulePriority[0b100000], ModuleRom);
    EXPECT_EQ(ModulePriority[0], ModuleNone);
    EXPECT_EQ(ModulePriority[0b11000000], ModuleNone);
}

TEST(ModuleConfiguration, ChainMapsModulesAndIdentifiesTheNextOne)
{
    Machine m;
    KVMemoryReset();
    EXPECT_EQ(GetModuleId(), 0x00019u) << "the I/O window answers first";
    KVMemoryConfig(0x00100);
    EXPECT_EQ(GetModuleId(), 0xFF003u) << "RAM waiting for its size";
    KVMemoryConfig(0xF0000);
    EXPECT_EQ(GetModuleId(), 0x000F4u) << "RAM waiting for its base";
    KVMemoryConfig(0x70000);
    EXPECT_EQ(GetModuleId(), 0xFF005u);
    KVMemoryConfig(0xF0000);
    EXPECT_EQ(GetModuleId(), 0x000F6u);
    KVMemoryConfig(0x70000);
    EXPECT_EQ(GetModuleId(), 0xFF007u);
    KVMemoryConfig(0x80000);
    EXPECT_EQ(GetModuleId(), 0x000F8u);
    KVMemoryConfig(0x80000);
    EXPECT_EQ(GetModuleId(), 0xFF001u) << "port 2 waiting for its size, still at the reset value";
    KVMemoryConfig(0xC0000);
    EXPECT_EQ(GetModuleId(), 0x000F2u);
    KVMemoryConfig(0x40000);
    EXPECT_EQ(GetModuleId(), 0u);
    KVMemoryConfig(0x12345); // all five configured: nothing happens
    EXPECT_EQ(Modules[ModuleIo].Base, 0x00100u);

    EXPECT_EQ(ModuleAt(0x00100), ModuleIo);
    EXPECT_EQ(ModuleAt(0x0013F), ModuleIo);
    EXPECT_EQ(ModuleAt(0x00140), ModuleRom) << "outside the 64-nibble window the module underneath answers";
    EXPECT_EQ(ModuleAt(0x70000), ModuleRam) << "RAM wins over the bank switcher";
    EXPECT_EQ(ModuleAt(0x7FFFF), ModuleRam);
    EXPECT_EQ(ModuleAt(0x6FFFF), ModulePort2);
    EXPECT_EQ(ModuleAt(0x3FFFF), ModuleRom);
    EXPECT_EQ(ModuleAt(0x80000), ModulePort1);
    EXPECT_EQ(ModuleAt(0xFFFFF), ModulePort1);
    EXPECT_EQ(ModuleAt(0x40000), ModulePort2);
    EXPECT_EQ(ModuleAt(0x4FFFF), ModulePort2);
    EXPECT_EQ(PageModuleMask[0x70], 0b110110u);
}

TEST(ModuleConfiguration, IdentityTagsOfEveryModuleState)
{
    Machine m;
    KVMemoryReset();
    Modules[ModuleIo].Base = 0x12340;
    EXPECT_EQ(GetModuleId(), 0x12359u);
    KVMemoryConfig(0x20000);
    KVMemoryConfig(0xC0000); // RAM size
    EXPECT_EQ(GetModuleId(), 0x000F4u);
    KVMemoryConfig(0x40000); // RAM base
    KVMemoryConfig(0xE0000); // bank switcher size
    EXPECT_EQ(GetModuleId(), 0x000F6u);
    KVMemoryConfig(0x60000);
    EXPECT_EQ(GetModuleId(), 0xFF007u);
}

TEST(ModuleConfiguration, UncnfgTakesTheWindowOrTheModuleUnderIt)
{
    Machine m;
    ConfigurePort1Chain();
    // The I/O page 0x00 holds the window over the ROM.
    KVMemoryUncnfg(0x00105);
    EXPECT_EQ(Modules[ModuleIo].State, ModuleUnconfigured);
    EXPECT_EQ(ModuleAt(0x00105), ModuleRom);

    ConfigurePort1Chain();
    KVMemoryUncnfg(0x00180); // the window's page, outside the window: the ROM is under it
    EXPECT_EQ(Modules[ModuleIo].State, ModuleConfigured);
    for (unsigned page = 0; page < 256; ++page)
        EXPECT_TRUE(PageModuleMask[page] & (1u << ModuleRom));

    KVMemoryUncnfg(0x71234);
    EXPECT_EQ(Modules[ModuleRam].State, ModuleUnconfigured);
    EXPECT_EQ(Modules[ModuleRam].Base, 0x70000u) << "size and base keep their values";
    EXPECT_EQ(ModuleAt(0x71234), ModuleBankSwitcher);
    EXPECT_EQ(GetModuleId(), 0xF0003u) << "the unconfigured RAM takes the next CONFIG first";
    KVMemoryConfig(0xF0000);
    KVMemoryConfig(0x30000);
    EXPECT_EQ(ModuleAt(0x31234), ModuleRam);
}

TEST(ModuleConfiguration, BaseOutsideTheSizeMaskMapsNoPage)
{
    Machine m;
    KVMemoryReset();
    KVMemoryConfig(0x00100);
    KVMemoryConfig(0xF0000);
    KVMemoryConfig(0x08000); // page bit 15 set where the size mask has 0
    EXPECT_EQ(Modules[ModuleRam].State, ModuleConfigured);
    for (unsigned page = 0; page < 256; ++page)
        EXPECT_FALSE(PageModuleMask[page] & (1u << ModuleRam)) << page;
}

TEST(ModuleConfiguration, TranslateGivesTheOffsetInTheAnsweringBuffer)
{
    Machine m;
    auto ram = NibbleBuffer(0x10000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFFF);
    ConfigurePort1Chain();
    uint32_t module = 0;
    EXPECT_EQ(KVTranslateAddress(0x00123, &module), 0x23u);
    EXPECT_EQ(module, ModuleIo);
    EXPECT_EQ(KVTranslateAddress(0x7ABCD, &module), 0xABCDu);
    EXPECT_EQ(module, ModuleRam);
    EXPECT_EQ(KVTranslateAddress(0x54321, &module), 0x54321u);
    EXPECT_EQ(module, ModuleRom);
    EXPECT_EQ(KVTranslateAddress(0x54321, nullptr), 0x54321u) << "a null out-parameter is skipped";
    KVSetMemoryModule(KV_MODULE_BANK_SWITCHER, ram.data(), 0xFFFF);
    EXPECT_EQ(Modules[ModuleBankSwitcher].Buffer, nullptr) << "the bank switcher takes no buffer";
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

TEST(MemoryController, FetchFollowsThePageMap)
{
    Machine m;
    auto ram = NibbleBuffer(0x10000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFFF);
    ConfigurePort1Chain();
    EXPECT_EQ(PageFetchPointer[0x72], ram.data() + 0x2000);
    EXPECT_EQ(PageFetchPointer[0x00], m.Rom.data()) << "the window's page fetches from the module under it";
    EXPECT_EQ(PageFetchPointer[0x12], m.Rom.data() + 0x12000);
    KVMemoryReset();
    EXPECT_EQ(PageFetchPointer[0x72], m.Rom.data() + 0x72000);
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

TEST(MemoryController, ReadsStripTheTagAndWritesReplaceTheByte)
{
    Machine m;
    auto ram = NibbleBuffer(0x10000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFFF);
    ConfigurePort1Chain();
    ram[0x100] = 0x10 | 0x9;
    ram[0x101] = 0x10 | 0x3;
    EXPECT_EQ(ReadNibble(0x70100), 9u);
    EXPECT_EQ(ReadAddress(0x70100), 0x39u);
    WriteNibble(0x70100, 4);
    EXPECT_EQ(ram[0x100], 4) << "a data write removes the breakpoint tag";
    m.Rom[0x12345] = 0x1A;
    WriteNibble(0x12345, 0);
    EXPECT_EQ(m.Rom[0x12345], 0x1A) << "the ROM ignores writes";
    EXPECT_EQ(ReadNibble(0x12345), 0xAu);
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

TEST(MemoryController, FiveNibbleReadsStayInTheFirstNibblesBuffer)
{
    Machine m;
    auto ram = NibbleBuffer(0x10000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFFF);
    ConfigurePort1Chain();
    // 0x6FFFE is ROM; its next three nibbles lie in RAM's page but the read
    // takes the ROM buffer's following bytes.
    for (uint32_t i = 0; i < 5; ++i)
        m.Rom[0x6FFFE + i] = static_cast<uint8_t>(i + 1);
    ram[0] = 0xF;
    EXPECT_EQ(ReadAddress(0x6FFFE), 0x54321u);
    // RAM read in the window's page, outside the window, reads RAM.
    KVMemoryReset();
    KVMemoryConfig(0x70000); // window at 0x70000
    KVMemoryConfig(0xF0000);
    KVMemoryConfig(0x70000);
    ram[0x800] = 6;
    ram[0x804] = 2;
    EXPECT_EQ(ReadAddress(0x70800), 0x20006u);
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

TEST(MemoryController, CrcFollowsEveryDataReadNibbleByNibble)
{
    Machine m;
    m.Rom[0x00010] = 1;
    CrcRegister = 0;
    ReadNibble(0x00010);
    EXPECT_EQ(CrcRegister, 0x1081u);

    std::mt19937 random(3);
    for (uint32_t a = 0x20000; a < 0x20400; ++a)
        m.Rom[a] = static_cast<uint8_t>(random() & 0x1F); // tags do not reach the CRC
    CrcRegister = 0xBEEF;
    uint32_t expected = 0xBEEF;
    for (uint32_t a = 0x20000; a < 0x20200; ++a) {
        ReadNibble(a);
        expected = BitwiseCrc(expected, m.Rom[a]);
    }
    for (uint32_t a = 0x20200; a < 0x20400; a += 5) {
        ReadAddress(a);
        for (uint32_t i = 0; i < 5; ++i)
            expected = BitwiseCrc(expected, m.Rom[a + i]);
    }
    EXPECT_EQ(CrcRegister, expected);
    WriteNibble(0x20000, 3);
    EXPECT_EQ(CrcRegister, expected) << "writes leave the CRC alone";
}

} // namespace
