#include <algorithm>

#include "engine/core/memory.h"
#include "tests/support/machine_model.h"

namespace {

using namespace model;

// Every access recorded in place of the memory tables, so the order of the
// addresses and which read path a transfer takes are visible.
struct Access {
    char Kind; // 'r' one nibble, 'a' five nibbles in one call, 'w' write
    uint32_t Address, Nibble;
    bool operator==(const Access&) const = default;
};
std::vector<Access> Log;

uint32_t Content(uint32_t address)
{
    return (address * 7 + (address >> 12) * 3 + 5) & 15; // neighbours differ
}

// Every machine rebuilds the tables these replace. No page reads or writes
// directly meanwhile, so every access reaches the recorders.
void RecordMemory()
{
    korvane::PageMap& pages = korvane::Memory.Pages;
    std::fill(std::begin(pages.Read), std::end(pages.Read), nullptr);
    std::fill(std::begin(pages.Write), std::end(pages.Write), nullptr);
    korvane::SetAccess& sets = korvane::Memory.BySet;
    for (unsigned set = 0; set < 256; ++set) {
        sets.ReadNibble[set] = [](uint32_t a) { return Log.push_back({'r', a, Content(a)}), Content(a); };
        sets.ReadAddress[set] = [](uint32_t a) {
            Log.push_back({'a', a, 0});
            uint32_t value = 0;
            for (uint32_t i = 0; i < 5; ++i)
                value |= Content((a + i) & 0xFFFFF) << (4 * i);
            return value;
        };
        sets.WriteNibble[set] = [](uint32_t a, uint32_t nibble) { Log.push_back({'w', a, nibble}); };
    }
}

// Every 14x and 15xy opcode: the nibbles that move, their addresses in order
// (each wrapped at 20 bits), the read path (hexadecimal field-A reads take
// one call), PC and cost, on pointers often by the top of memory.
TEST(MemoryTransfers, EveryOpcodeMovesItsNibblesLowestAddressFirst)
{
    test::Machine m;
    RecordMemory();
    std::mt19937_64 rng(0x15);
    int failures = 0;
    for (bool decimal : {false, true}) {
        for (unsigned p : SomeP) {
            for (unsigned op = 0; op < 16 + 256; ++op) {
                const bool short14 = op < 16;
                const unsigned x = short14 ? op : (op - 16) >> 4, y = op & 15;
                const bool read = x & 2, oneCall = read && !decimal && x < 8 && (short14 || y >= 8);
                State s = Randomize(rng, decimal, p);
                test::Program code(Origin);
                short14 ? code.op("14").imm(x, 1) : code.op("15").imm(x, 1).imm(y, 1);
                const auto [low, high] = short14 ? std::pair{0u, x < 8 ? 4u : 1u} : x < 8 ? FieldRange(y, p) : std::pair{0u, y};
                const unsigned count = high - low + 1;
                const unsigned cost = short14 ? (x < 8 ? (read ? 82 : 78) : (read ? 78 : 66))
                                              : (x < 8 ? (read ? 80 : 76) : (read ? 76 : 72)) + 6 * count;
                const uint32_t pointer = x & 1 ? s.Cpu.D1 : s.Cpu.D0;
                Nibbles& reg = s.R[x & 4 ? 2 : 0];
                std::vector<Access> want;
                if (oneCall)
                    want.push_back({'a', pointer, 0});
                for (unsigned i = 0; i < count; ++i) {
                    const uint32_t address = (pointer + i) & 0xFFFFF;
                    if (!read)
                        want.push_back({'w', address, reg[low + i]});
                    else if (!oneCall)
                        want.push_back({'r', address, Content(address)});
                    if (read)
                        reg[low + i] = static_cast<uint8_t>(Content(address));
                }
                s.advance(short14 ? 3 : 4, cost);
                Log.clear();
                RunOne(m, code, rng);
                const std::string what = Text(code) + (decimal ? " decimal" : " hex") + " P=" + std::to_string(p);
                if (!Within(Log == want ? Matches(s) : testing::AssertionFailure() << " accesses", what, failures))
                    return;
            }
        }
    }
    korvane::RebuildAccessTables();
}

// CRC-16, reflected, polynomial 0x8408, four bits per nibble.
uint32_t Crc(uint32_t crc, const std::vector<uint8_t>& nibbles)
{
    for (uint32_t nibble : nibbles)
        for (int bit = 0; bit < 4; ++bit)
            crc = (crc >> 1) ^ (((crc ^ (nibble >> bit)) & 1) ? 0x8408 : 0);
    return crc;
}

// Real memory: RAM over the top two pages, port 1 over page 0, the ROM
// everywhere else. Each nibble reaches the module of its own page, past
// 0xFFFFF too, and reads feed the CRC in address order.
TEST(MemoryTransfers, CrossPageBoundariesAndTheTopOfMemory)
{
    ASSERT_EQ(Crc(0, {1}), 0x1081u); // the model against a value by hand
    constexpr uint32_t RamNibbles = 0x2000, PortNibbles = 0x1000;
    std::vector<uint8_t> ram = test::NibbleBuffer(RamNibbles), port = test::NibbleBuffer(PortNibbles);
    test::Machine m;
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), RamNibbles - 1);
    KVSetMemoryModule(KV_MODULE_PORT1, port.data(), PortNibbles - 1);
    // The I/O window out of the way, RAM at 0xFE000, the bank switcher over no page, port 1 at 0.
    for (uint32_t value : {0x30000u, 0xFE000u, 0xFE000u, 0x80000u, 0x40000u, 0xFF000u, 0x00000u})
        KVMemoryConfig(value);
    const auto run = [&m](const char* opcode) {
        m.poke(0x40000, opcode);
        Cpu.PC = 0x40000;
        m.step();
    };
    for (bool decimal : {false, true}) {
        decimal ? korvane::SwitchToDecimal() : korvane::SwitchToHex();
        for (uint32_t i = 0; i < RamNibbles; ++i)
            ram[i] = (i * 3 + 1) & 15;
        for (uint32_t i = 0; i < PortNibbles; ++i)
            port[i] = (i * 5 + 2) & 15;

        test::SetValue(Cpu.A, 0x54321);
        Cpu.D0 = 0xFFFFE;
        run("140"); // DAT0=A A: two nibbles of RAM, then three of port 1
        EXPECT_EQ(std::vector(ram.begin() + 0x1FFE, ram.begin() + 0x2000), (std::vector<uint8_t>{1, 2}));
        EXPECT_EQ(std::vector(port.begin(), port.begin() + 4), (std::vector<uint8_t>{3, 4, 5, 1}));

        korvane::CrcRegister = 0x1234;
        Cpu.D1 = 0xFFFF8;
        run("15FF"); // C=DAT1 16 nibbles: eight of RAM, then eight of port 1
        std::vector<uint8_t> nibbles(ram.begin() + 0x1FF8, ram.begin() + 0x2000);
        nibbles.insert(nibbles.end(), port.begin(), port.begin() + 8);
        const Nibbles read = FromValue(test::Value(Cpu.C));
        EXPECT_EQ(std::vector(read.begin(), read.end()), nibbles);
        EXPECT_EQ(korvane::CrcRegister, Crc(0x1234, nibbles));
    }
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
    KVSetMemoryModule(KV_MODULE_PORT1, nullptr, 0);
}

} // namespace
