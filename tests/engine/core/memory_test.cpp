#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "engine/core/memory.h"
#include "engine/core/timers.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Machine;

namespace {

// The offset an address translates to, and its module.
std::tuple<uint32_t, uint32_t> Translate(uint32_t address)
{
    uint32_t module = 99;
    const uint32_t offset = KVTranslateAddress(address, &module);
    return {offset, module};
}

uint32_t ModuleAt(uint32_t address)
{
    return std::get<1>(Translate(address));
}

void Configure(std::initializer_list<uint32_t> values)
{
    KVMemoryReset();
    for (uint32_t value : values)
        KVMemoryConfig(value);
}

// The chain a host runs before placing an object in port 1: I/O at 0x100,
// RAM and the bank switcher over 0x70000, port 1 over 0x80000.
void ConfigurePort1Chain()
{
    Configure({0x00100u, 0xF0000u, 0x70000u, 0xF0000u, 0x70000u, 0x80000u, 0x80000u});
}

// CRC-16 with the reflected polynomial 0x8408, four bits per nibble, bit by bit.
uint32_t BitwiseCrc(uint32_t crc, uint32_t nibble)
{
    crc ^= nibble & 15;
    for (int bit = 0; bit < 4; ++bit)
        crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    return crc;
}

TEST(Memory, TheChainConfiguresEachModuleInTurnAndUncnfgUndoesOne)
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
        {0x00100, ModuleIo},    {0x0013F, ModuleIo},    {0x00140, ModuleRom},   {0x70000, ModuleRam},
        {0x7FFFF, ModuleRam},   {0x6FFFF, ModulePort2}, {0x3FFFF, ModuleRom},   {0x80000, ModulePort1},
        {0xFFFFF, ModulePort1}, {0x40000, ModulePort2},
    };
    for (const auto& a : answers)
        EXPECT_EQ(ModuleAt(a.Address), a.Module) << std::hex << a.Address;

    ConfigurePort1Chain();
    KVMemoryUncnfg(0x00180); // the window's page, outside the window: the ROM, which stays
    EXPECT_EQ(Modules[ModuleIo].State, ModuleConfigured);
    for (unsigned page = 0; page < 256; ++page)
        EXPECT_TRUE(Memory.Pages.Modules[page] & (1u << ModuleRom));
    KVMemoryUncnfg(0x71234);
    EXPECT_EQ(ModuleAt(0x71234), ModuleBankSwitcher);
    EXPECT_EQ(GetModuleId(), 0xF0003u) << "the RAM keeps its size and takes the next CONFIG first";
    KVMemoryConfig(0xF0000);
    KVMemoryConfig(0x30000);
    EXPECT_EQ(ModuleAt(0x31234), ModuleRam);
    KVMemoryUncnfg(0x00105);
    EXPECT_EQ(ModuleAt(0x00105), ModuleRom);

    Configure({0x00100u, 0xF0000u, 0x08000u}); // a base outside the size mask matches no page
    EXPECT_EQ(Modules[ModuleRam].State, ModuleConfigured);
    for (unsigned page = 0; page < 256; ++page)
        EXPECT_FALSE(Memory.Pages.Modules[page] & (1u << ModuleRam)) << page;
}

TEST(Memory, FetchReadAndWriteFollowThePageMap)
{
    Machine m;
    auto ram = test::NibbleBuffer(0x10000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFFF);
    KVSetMemoryModule(KV_MODULE_BANK_SWITCHER, ram.data(), 0xFFFF);
    EXPECT_EQ(Modules[ModuleBankSwitcher].Buffer, nullptr) << "the bank switcher takes no buffer";
    // A lend smaller than a page, or a mask that is no size minus one, would
    // be read past the buffer's end: refused, the RAM keeps its buffer.
    auto small = test::NibbleBuffer(0x800);
    for (uint32_t mask : {0x7FFu, 0x17FFFu, 0xFFFEu}) {
        KVSetMemoryModule(KV_MODULE_RAM, small.data(), mask);
        EXPECT_EQ(Modules[ModuleRam].Buffer, ram.data()) << mask;
        EXPECT_EQ(Modules[ModuleRam].BufferMask, 0xFFFFu) << mask;
    }
    ConfigurePort1Chain();
    EXPECT_EQ(Memory.Pages.Fetch[0x72], ram.data() + 0x2000);
    EXPECT_EQ(Memory.Pages.Fetch[0x00], m.Rom.data()) << "the window's page fetches from the module under it";
    EXPECT_EQ(Memory.Pages.Fetch[0x12], m.Rom.data() + 0x12000);
    // Plain pages are read and written straight from a buffer: not the
    // window's page, not a module without a buffer, no writes to the ROM.
    EXPECT_EQ(Memory.Pages.Write[0x72], ram.data() + 0x2000);
    EXPECT_EQ(Memory.Pages.Read[0x12], m.Rom.data() + 0x12000);
    const auto& pages = Memory.Pages;
    EXPECT_EQ(std::tuple(pages.Write[0x12], pages.Read[0x00], pages.Write[0x00], pages.Read[0x80]),
              std::tuple(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(Translate(0x00123), std::tuple(0x23u, ModuleIo));
    EXPECT_EQ(Translate(0x7ABCD), std::tuple(0xABCDu, ModuleRam));

    // Reads drop the breakpoint tag, a data write replaces the whole byte,
    // the ROM ignores writes.
    ram[0x100] = 0x10 | 0x9, ram[0x101] = 0x10 | 0x3;
    EXPECT_EQ(ReadAddress(0x70100), 0x39u);
    WriteNibble(0x70100, 4);
    EXPECT_EQ(ram[0x100], 4);
    m.Rom[0x12345] = 0x1A;
    WriteNibble(0x12345, 0);
    EXPECT_EQ(ReadNibble(0x12345), 0xAu);

    // A five-nibble read stays in the first nibble's buffer: 0x6FFFE is ROM.
    for (uint32_t i = 0; i < 5; ++i)
        m.Rom[0x6FFFE + i] = static_cast<uint8_t>(i + 1);
    ram[0] = 0xF;
    EXPECT_EQ(ReadAddress(0x6FFFE), 0x54321u);

    KVMemoryReset();
    EXPECT_EQ(std::tuple(Memory.Pages.Fetch[0x72], Memory.Pages.Write[0x72]),
              std::tuple(m.Rom.data() + 0x72000, static_cast<uint8_t*>(nullptr)));
    Configure({0x70000u, 0xF0000u, 0x70000u}); // the window over RAM's page
    ram[0x800] = 6, ram[0x804] = 2;
    EXPECT_EQ(ReadAddress(0x70800), 0x20006u) << "outside the window the RAM answers";

    // Without buffers every read is zero and fetch sees the blank page.
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
    KVSetMemoryModule(KV_MODULE_ROM, nullptr, 0);
    for (unsigned page = 0; page < 256; ++page)
        ASSERT_EQ(Memory.Pages.Fetch[page], BlankPage) << page;
    EXPECT_EQ(Memory.Pages.Read[0x12], nullptr) << "the blank module's zeros do not count in the CRC";
    WriteNibble(0x12345, 7);
    EXPECT_EQ(ReadNibble(0x12345) + ReadAddress(0xFFFFE) + ReadAddress(0x70800), 0u);
    EXPECT_EQ(Translate(0x54321), std::tuple(0x54321u, ModuleRom));
}

// Every data read counts its nibbles in the CRC, one by one, whatever the
// width: single nibbles, addresses, and runs of every length, which wrap at
// 20 bits; writes move exactly their nibbles and leave the CRC alone.
TEST(Memory, DataReadsFeedTheCrcAndRunsMoveExactlyTheirNibbles)
{
    Machine m;
    std::mt19937_64 random(5);
    for (uint32_t a = 0x20000; a < 0x20400; ++a)
        m.Rom[a] = static_cast<uint8_t>(random() & 0x1F); // tags do not reach the CRC
    CrcRegister = 0xBEEF;
    uint32_t expected = 0xBEEF;
    for (uint32_t a = 0x20000; a < 0x20400; a += 6) {
        ReadNibble(a);
        ReadAddress(a + 1);
        for (uint32_t i = 0; i < 6; ++i)
            expected = BitwiseCrc(expected, m.Rom[a + i]);
    }
    EXPECT_EQ(CrcRegister, expected);

    CrcRegister = 0;
    uint32_t crc = 0;
    for (uint32_t k = 0; k < 8; ++k) {
        m.Rom[0xFFFF8 + k] = static_cast<uint8_t>(k + 1);
        m.Rom[k] = static_cast<uint8_t>(15 - k);
        crc = BitwiseCrc(crc, k + 1);
    }
    for (uint32_t k = 0; k < 8; ++k)
        crc = BitwiseCrc(crc, 15 - k);
    EXPECT_EQ(ReadNibbleRun(0xFFFF8, 16), 0x89ABCDEF87654321ull);
    EXPECT_EQ(CrcRegister, crc);
    EXPECT_EQ(ReadAddress(0xFFFFE), 0x00087u) << "a five-nibble read stays in the first nibble's buffer";

    auto ram = test::NibbleBuffer(0x10000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFFF);
    ConfigurePort1Chain(); // RAM over 0x70000-0x7FFFF
    for (unsigned count = 1; count <= 16; ++count) {
        for (uint32_t offset : {0x000u, 0x123u, 0xFF0u - count}) {
            std::fill(ram.begin() + 0x3000, ram.begin() + 0x4000, uint8_t{0x1C});
            const uint64_t value = random();
            const uint32_t address = 0x73000 + offset;
            CrcRegister = 0x5555;
            WriteNibbleRun(address, count, value);
            ASSERT_EQ(CrcRegister, 0x5555u) << "writes leave the CRC alone";
            crc = 0x5555;
            for (uint32_t k = 0; k < 0x1000; ++k) {
                const bool inside = k >= offset && k < offset + count;
                const uint8_t want = inside ? (value >> (4 * (k - offset))) & 15 : 0x1C;
                ASSERT_EQ(ram[0x3000 + k], want) << "count " << count << " byte " << k;
                if (inside)
                    crc = BitwiseCrc(crc, want);
            }
            const uint64_t mask = count == 16 ? ~uint64_t{0} : (uint64_t{1} << (4 * count)) - 1;
            ASSERT_EQ(ReadNibbleRun(address, count), value & mask) << "count " << count;
            ASSERT_EQ(CrcRegister, crc) << "count " << count;
        }
    }
    // Sixteen nibbles take one carry-less product where the host has it,
    // the table steps where not: both agree with the bit-by-bit CRC.
    const bool hostHasPclmul = HostHasPclmul;
    for (int trial = 0; trial < 2000; ++trial) {
        const uint64_t value = random();
        const uint32_t start = static_cast<uint32_t>(random() & 0xFFFF);
        crc = start;
        for (unsigned k = 0; k < 16; ++k)
            crc = BitwiseCrc(crc, static_cast<uint32_t>(value >> (4 * k)));
        for (const bool pclmul : {hostHasPclmul, false}) {
            HostHasPclmul = pclmul;
            ASSERT_EQ(CrcOfNibbles(start, value, 16), crc) << std::hex << start << " " << value << " " << pclmul;
        }
        HostHasPclmul = hostHasPclmul;
    }

    CrcRegister = crc = 0x5555;
    ReadAddress(0x73001);
    ReadNibble(0x73006);
    for (uint32_t k = 1; k < 7; ++k)
        crc = BitwiseCrc(crc, ram[0x3000 + k]);
    EXPECT_EQ(CrcRegister, crc) << "through the RAM's buffer too";
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

// Runs across the edge between plain RAM pages and the window's registers:
// a run leaves a plain page with its nibbles already counted in the CRC, so
// the CRC register read later in the same run shows them; registers take
// written nibbles in order.
TEST(Memory, RunsCrossIntoRegistersInAddressOrder)
{
    Machine m;
    auto ram = test::NibbleBuffer(0x20000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0x1FFFF);
    Configure({0x70000u, 0xE0000u, 0x60000u}); // RAM over 0x60000-0x7FFFF, the window in it
    CrcRegister = 0x1234;
    uint32_t crc = 0x1234;
    uint64_t ramPart = 0;
    for (uint32_t k = 0; k < 8; ++k) {
        ram[0xFFF8 + k] = static_cast<uint8_t>(0x10 | ((k * 5 + 3) & 15)); // tagged: the tags must go
        crc = BitwiseCrc(crc, ram[0xFFF8 + k]);
        ramPart |= uint64_t{ram[0xFFF8 + k] & 15u} << (4 * k);
    }
    const uint64_t run = ReadNibbleRun(0x6FFF8, 16);
    // The CRC register is read after the RAM nibbles; register reads are not counted.
    EXPECT_EQ(std::tuple(run & 0xFFFFFFFF, run >> 48, CrcRegister), std::tuple(ramPart, uint64_t{crc}, crc));

    // From TIMER2's top nibbles (the window at the end of page 0x70) on into
    // the plain page after it, and back.
    Configure({0x70FC0u, 0xE0000u, 0x60000u});
    Timers.Timer2 = 0;
    WriteNibbleRun(0x70FFC, 12, 0x987654321ABCull);
    EXPECT_EQ(Timers.Timer2, 0x1ABC0000u);
    for (uint32_t k = 0; k < 8; ++k)
        EXPECT_EQ(ram[0x11000 + k], k + 2) << k;
    EXPECT_EQ(ReadNibbleRun(0x70FFC, 12), 0x987654321ABCull);
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

} // namespace
