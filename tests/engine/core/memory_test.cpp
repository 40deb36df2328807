#include <gtest/gtest.h>

#include <random>

#include "engine/core/memory.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Machine;

namespace {

uint32_t ModuleAt(uint32_t address)
{
    uint32_t module = 99;
    KVTranslateAddress(address, &module);
    return module;
}

// The chain a host runs before placing an object in port 1: I/O at 0x100,
// RAM and the bank switcher over 0x70000, port 1 over 0x80000.
void ConfigurePort1Chain()
{
    KVMemoryReset();
    for (uint32_t value : {0x00100u, 0xF0000u, 0x70000u, 0xF0000u, 0x70000u, 0x80000u, 0x80000u})
        KVMemoryConfig(value);
}

TEST(ModuleConfiguration, TheChainConfiguresEachModuleInTurnAndCIdNamesTheNext)
{
    Machine m;
    KVMemoryReset();
    Modules[ModuleIo].Base = 0x12340;
    EXPECT_EQ(GetModuleId(), 0x12359u) << "the I/O window answers first, tagged with its base";
    Modules[ModuleIo].Base = 0;
    const struct {
        uint32_t Value, Id;
    } chain[] = {
        {0x00100, 0xFF003}, {0xF0000, 0x000F4}, // RAM: size, then base
        {0x70000, 0xFF005}, {0xF0000, 0x000F6}, // bank switcher
        {0x70000, 0xFF007}, {0x80000, 0x000F8}, // port 1
        {0x80000, 0xFF001}, {0xC0000, 0x000F2}, // port 2
        {0x40000, 0x00000}, {0x12345, 0x00000}, // all configured: nothing happens
    };
    for (const auto& step : chain) {
        KVMemoryConfig(step.Value);
        EXPECT_EQ(GetModuleId(), step.Id) << std::hex << step.Value;
    }
    // The lowest configured module answers, the ROM under everything.
    const struct {
        uint32_t Address, Module;
    } answers[] = {
        {0x00100, ModuleIo},   {0x0013F, ModuleIo},   {0x00140, ModuleRom}, // past the window: what is under it
        {0x70000, ModuleRam},  {0x7FFFF, ModuleRam},  {0x6FFFF, ModulePort2}, {0x3FFFF, ModuleRom},
        {0x80000, ModulePort1}, {0xFFFFF, ModulePort1}, {0x40000, ModulePort2},
    };
    for (const auto& a : answers)
        EXPECT_EQ(ModuleAt(a.Address), a.Module) << std::hex << a.Address;
    EXPECT_EQ(PageModuleMask[0x70], 0b110110u);
    EXPECT_EQ(ModulePriority[0b111100], ModuleBankSwitcher);
    EXPECT_EQ(ModulePriority[0], ModuleNone);
}

TEST(ModuleConfiguration, UncnfgTakesTheWindowOrTheModuleUnderIt)
{
    Machine m;
    ConfigurePort1Chain();
    KVMemoryUncnfg(0x00105);
    EXPECT_EQ(Modules[ModuleIo].State, ModuleUnconfigured);
    EXPECT_EQ(ModuleAt(0x00105), ModuleRom);

    ConfigurePort1Chain();
    KVMemoryUncnfg(0x00180); // the window's page, outside the window: the ROM, which stays
    EXPECT_EQ(Modules[ModuleIo].State, ModuleConfigured);
    for (unsigned page = 0; page < 256; ++page)
        EXPECT_TRUE(PageModuleMask[page] & (1u << ModuleRom));

    KVMemoryUncnfg(0x71234);
    EXPECT_EQ(Modules[ModuleRam].State, ModuleUnconfigured);
    EXPECT_EQ(ModuleAt(0x71234), ModuleBankSwitcher);
    EXPECT_EQ(GetModuleId(), 0xF0003u) << "the RAM keeps its size and takes the next CONFIG first";
    KVMemoryConfig(0xF0000);
    KVMemoryConfig(0x30000);
    EXPECT_EQ(ModuleAt(0x31234), ModuleRam);

    // A base outside the size mask matches no page.
    KVMemoryReset();
    for (uint32_t value : {0x00100u, 0xF0000u, 0x08000u})
        KVMemoryConfig(value);
    EXPECT_EQ(Modules[ModuleRam].State, ModuleConfigured);
    for (unsigned page = 0; page < 256; ++page)
        EXPECT_FALSE(PageModuleMask[page] & (1u << ModuleRam)) << page;
}

TEST(MemoryController, FetchReadAndWriteFollowThePageMap)
{
    Machine m;
    auto ram = test::NibbleBuffer(0x10000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFFF);
    KVSetMemoryModule(KV_MODULE_BANK_SWITCHER, ram.data(), 0xFFFF);
    EXPECT_EQ(Modules[ModuleBankSwitcher].Buffer, nullptr) << "the bank switcher takes no buffer";
    ConfigurePort1Chain();
    EXPECT_EQ(PageFetchPointer[0x72], ram.data() + 0x2000);
    EXPECT_EQ(PageFetchPointer[0x00], m.Rom.data()) << "the window's page fetches from the module under it";
    EXPECT_EQ(PageFetchPointer[0x12], m.Rom.data() + 0x12000);
    uint32_t module = 0;
    EXPECT_EQ(KVTranslateAddress(0x00123, &module), 0x23u);
    EXPECT_EQ(module, ModuleIo);
    EXPECT_EQ(KVTranslateAddress(0x7ABCD, &module), 0xABCDu);
    EXPECT_EQ(module, ModuleRam);
    EXPECT_EQ(KVTranslateAddress(0x54321, nullptr), 0x54321u);

    // Reads drop the breakpoint tag, a data write replaces the whole byte,
    // the ROM ignores writes.
    ram[0x100] = 0x10 | 0x9;
    ram[0x101] = 0x10 | 0x3;
    EXPECT_EQ(ReadAddress(0x70100), 0x39u);
    WriteNibble(0x70100, 4);
    EXPECT_EQ(ram[0x100], 4);
    m.Rom[0x12345] = 0x1A;
    WriteNibble(0x12345, 0);
    EXPECT_EQ(m.Rom[0x12345], 0x1A);
    EXPECT_EQ(ReadNibble(0x12345), 0xAu);

    // A five-nibble read stays in the first nibble's buffer: 0x6FFFE is ROM.
    for (uint32_t i = 0; i < 5; ++i)
        m.Rom[0x6FFFE + i] = static_cast<uint8_t>(i + 1);
    ram[0] = 0xF;
    EXPECT_EQ(ReadAddress(0x6FFFE), 0x54321u);

    KVMemoryReset();
    EXPECT_EQ(PageFetchPointer[0x72], m.Rom.data() + 0x72000);
    for (uint32_t value : {0x70000u, 0xF0000u, 0x70000u}) // the window over RAM's page
        KVMemoryConfig(value);
    ram[0x800] = 6;
    ram[0x804] = 2;
    EXPECT_EQ(ReadAddress(0x70800), 0x20006u) << "outside the window the RAM answers";

    // Without buffers every read is zero and fetch sees the blank page.
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
    KVSetMemoryModule(KV_MODULE_ROM, nullptr, 0);
    for (unsigned page = 0; page < 256; ++page)
        ASSERT_EQ(PageFetchPointer[page], BlankPage) << page;
    WriteNibble(0x12345, 7);
    EXPECT_EQ(ReadNibble(0x12345) + ReadAddress(0xFFFFE) + ReadAddress(0x70800), 0u);
    EXPECT_EQ(ModuleAt(0x54321), ModuleRom);
}

// CRC-16 with the reflected polynomial 0x8408, four bits per nibble, bit by bit.
uint32_t BitwiseCrc(uint32_t crc, uint32_t nibble)
{
    crc ^= nibble & 15;
    for (int bit = 0; bit < 4; ++bit)
        crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    return crc;
}

TEST(MemoryController, CrcFollowsEveryDataReadNibbleByNibble)
{
    Machine m;
    m.Rom[0x00010] = 1;
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
    // The same through a module buffer: RAM over page 0x20, behind the ROM's reads.
    std::vector<uint8_t> ram(m.Rom.begin() + 0x20000, m.Rom.begin() + 0x21000 + KV_BUFFER_SLACK);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFF);
    for (uint32_t value : {0x00100u, 0xFF000u, 0x20000u})
        KVMemoryConfig(value);
    ReadNibble(0x20001);
    ReadAddress(0x20002);
    for (uint32_t a = 0x20001; a < 0x20007; ++a)
        expected = BitwiseCrc(expected, ram[a - 0x20000]);
    EXPECT_EQ(CrcRegister, expected);
    WriteNibble(0x20000, 3);
    EXPECT_EQ(CrcRegister, expected) << "writes leave the CRC alone";
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

} // namespace
