#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/cpu_state.h"
#include "engine/core/memory.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using korvane::NibbleRegister;
using test::Machine;

namespace {

constexpr uint32_t Origin = 0x40000;
constexpr uint64_t Stale = 0x5A5A5A5A5A5A5A5Aull;

// The live form holds value, the other one the stale marker.
void SetLive(NibbleRegister& r, uint64_t value)
{
    korvane::WriteWord<false>(r, Cpu.DecimalMode ? Stale : value);
    korvane::WriteWord<true>(r, Cpu.DecimalMode ? value : Stale);
}

uint64_t StaleForm(const NibbleRegister& r)
{
    return Cpu.DecimalMode ? korvane::ReadWord<false>(r) : korvane::ReadWord<true>(r);
}

void SelectMode(bool decimal)
{
    decimal ? korvane::SwitchToDecimal() : korvane::SwitchToHex();
}

// Places the opcode (hexadecimal digits) at Origin and runs it once.
void RunOnce(Machine& m, const std::string& opcode)
{
    for (size_t i = 0; i < opcode.size(); ++i)
        m.Rom[Origin + i] = static_cast<uint8_t>(std::stoul(opcode.substr(i, 1), nullptr, 16));
    Cpu.PC = Origin;
    Cpu.SliceCycles = 0;
    m.step();
}

// Every access recorded: the memory tables are replaced by recorders, so the
// order of the addresses and which read path a transfer takes are visible.
// No page reads or writes plainly meanwhile, so every access reaches them.
struct Access {
    char Kind; // 'r' one nibble, 'a' five nibbles, 'w' write
    uint32_t Address;
    uint32_t Nibble;
    bool operator==(const Access&) const = default;
};

std::vector<Access> Log;

uint32_t Content(uint32_t address)
{
    return (address * 7 + (address >> 12) * 3 + 5) & 15; // neighbours differ
}

uint32_t RecordRead(uint32_t a)
{
    Log.push_back({'r', a, Content(a)});
    return Content(a);
}

uint32_t RecordReadAddress(uint32_t a)
{
    Log.push_back({'a', a, 0});
    uint32_t value = 0;
    for (uint32_t i = 0; i < 5; ++i)
        value |= Content((a + i) & 0xFFFFF) << (4 * i);
    return value;
}

void RecordWrite(uint32_t a, uint32_t nibble)
{
    Log.push_back({'w', a, nibble});
}

class RecordedMemory {
public:
    RecordedMemory()
    {
        std::memcpy(Read, korvane::ReadNibbleTable, sizeof Read);
        std::memcpy(Address, korvane::ReadAddressTable, sizeof Address);
        std::memcpy(Write, korvane::WriteNibbleTable, sizeof Write);
        std::memcpy(PlainRead, korvane::PageReadPointer, sizeof PlainRead);
        std::memcpy(PlainWrite, korvane::PageWritePointer, sizeof PlainWrite);
        for (unsigned page = 0; page < 256; ++page) {
            korvane::PageReadPointer[page] = nullptr;
            korvane::PageWritePointer[page] = nullptr;
        }
        for (unsigned set = 0; set < 256; ++set) {
            korvane::ReadNibbleTable[set] = &RecordRead;
            korvane::ReadAddressTable[set] = &RecordReadAddress;
            korvane::WriteNibbleTable[set] = &RecordWrite;
        }
    }
    ~RecordedMemory()
    {
        std::memcpy(korvane::ReadNibbleTable, Read, sizeof Read);
        std::memcpy(korvane::ReadAddressTable, Address, sizeof Address);
        std::memcpy(korvane::WriteNibbleTable, Write, sizeof Write);
        std::memcpy(korvane::PageReadPointer, PlainRead, sizeof PlainRead);
        std::memcpy(korvane::PageWritePointer, PlainWrite, sizeof PlainWrite);
    }

private:
    korvane::ReadNibbleProc Read[256];
    korvane::ReadAddressProc Address[256];
    korvane::WriteNibbleProc Write[256];
    const uint8_t* PlainRead[256];
    uint8_t* PlainWrite[256];
};

// What an opcode moves and costs, from the opcode map by hand.
struct Form {
    unsigned Start, Count, Length, Cost;
    bool OneCall; // the hexadecimal field-A reads
};

Form ExpectedForm(bool short14, unsigned x, unsigned y, unsigned p, bool decimal)
{
    const bool read = x & 2;
    if (short14)
        return x < 8 ? Form{0, 5, 3, read ? 82u : 78u, read && !decimal} : Form{0, 2, 3, read ? 78u : 66u, false};
    if (x >= 8)
        return {0, y + 1, 4, (read ? 76u : 72u) + 6 * (y + 1), false};
    //                          P  WP XS X  S   M   B  W   A
    static const unsigned start[9] = {0, 0, 2, 0, 15, 3, 0, 0, 0};
    static const unsigned count[9] = {1, 0, 1, 3, 1, 12, 2, 16, 5};
    const unsigned field = y < 8 ? y : 8;
    const unsigned s = field == 0 ? p : start[field];
    const unsigned n = field == 1 ? p + 1 : count[field];
    return {s, n, 4, (read ? 80u : 76u) + 6 * n, field == 8 && read && !decimal};
}

// Every 14x and 15xy opcode in both modes: the nibbles that move, their
// addresses in order (each wrapped at 20 bits), the read path, PC, cost, and
// that nothing else changes.
TEST(MemoryTransfers, EveryOpcodeMovesItsNibblesLowestAddressFirst)
{
    Machine m;
    const uint64_t a = 0x0123456789ABCDEFull, b = 0x2222222222222222ull;
    const uint64_t c = 0xFEDCBA9876543210ull, d = 0x4444444444444444ull;
    const uint32_t pointers[][2] = {{0xFFFFB, 0x12FFE}, {0x0AFFD, 0xFFFFF}}; // page ends and the top of memory
    int failures = 0;
    for (bool decimal : {false, true}) {
        SelectMode(decimal);
        for (const auto& ptr : pointers) {
            for (unsigned p : {0u, 3u, 8u, 15u}) {
                for (unsigned op = 0x140; op < 0x160; ++op) {
                    const bool short14 = op < 0x150;
                    const unsigned x = op & 15;
                    for (unsigned y = 0; y < (short14 ? 1u : 16u); ++y) {
                        SetLive(Cpu.A, a), SetLive(Cpu.B, b), SetLive(Cpu.C, c), SetLive(Cpu.D, d);
                        Cpu.D0 = ptr[0], Cpu.D1 = ptr[1];
                        korvane::SetP(static_cast<uint8_t>(p));
                        Cpu.Carry = 1;
                        const std::string text = (short14 ? "14" : "15") + std::string(1, "0123456789ABCDEF"[x]) +
                                                 (short14 ? "" : std::string(1, "0123456789ABCDEF"[y]));
                        Log.clear();
                        {
                            RecordedMemory recorder;
                            RunOnce(m, text);
                        }

                        // The model: a 16-element nibble array and the address list.
                        const Form form = ExpectedForm(short14, x, y, p, decimal);
                        const uint32_t pointer = ptr[x & 1];
                        uint32_t nibble[16];
                        for (unsigned k = 0; k < 16; ++k)
                            nibble[k] = (((x & 4) ? c : a) >> (4 * k)) & 15;
                        std::vector<Access> want;
                        if (form.OneCall)
                            want.push_back({'a', pointer, 0});
                        for (unsigned i = 0; i < form.Count; ++i) {
                            const uint32_t address = (pointer + i) & 0xFFFFF;
                            if (!(x & 2))
                                want.push_back({'w', address, nibble[form.Start + i]});
                            else if (!form.OneCall)
                                want.push_back({'r', address, Content(address)});
                            if (x & 2)
                                nibble[form.Start + i] = Content(address);
                        }
                        uint64_t after = 0;
                        for (unsigned k = 0; k < 16; ++k)
                            after |= uint64_t{nibble[k]} << (4 * k);

                        const NibbleRegister& named = (x & 4) ? Cpu.C : Cpu.A;
                        const NibbleRegister& other = (x & 4) ? Cpu.A : Cpu.C;
                        const bool ok = Log == want && test::Value(named) == after &&
                                        test::Value(other) == ((x & 4) ? a : c) && test::Value(Cpu.B) == b &&
                                        test::Value(Cpu.D) == d && StaleForm(Cpu.A) == Stale &&
                                        StaleForm(Cpu.C) == Stale && Cpu.PC == Origin + form.Length &&
                                        Cpu.SliceCycles == form.Cost && Cpu.D0 == ptr[0] && Cpu.D1 == ptr[1] &&
                                        Cpu.P == p && Cpu.Carry == 1;
                        if (!ok) {
                            ADD_FAILURE() << text << " decimal " << decimal << " P=" << p << std::hex << " D0=" << ptr[0]
                                          << ": register " << test::Value(named) << " want " << after << ", "
                                          << Log.size() << " accesses (want " << want.size() << "), cycles "
                                          << std::dec << Cpu.SliceCycles << " want " << form.Cost;
                            if (++failures >= 10)
                                return;
                        }
                    }
                }
            }
        }
    }
}

// Real memory: RAM over the top two pages, port 1 over page 0, the ROM
// everywhere else.
class MappedMemory : public testing::Test {
protected:
    static constexpr uint32_t RamNibbles = 0x2000, PortNibbles = 0x1000;

    MappedMemory() : Ram(test::NibbleBuffer(RamNibbles)), Port(test::NibbleBuffer(PortNibbles))
    {
        KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), RamNibbles - 1);
        KVSetMemoryModule(KV_MODULE_PORT1, Port.data(), PortNibbles - 1);
        // The I/O window out of the way, RAM at 0xFE000, the bank switcher
        // over no page, port 1 at 0.
        for (uint32_t value : {0x30000u, 0xFE000u, 0xFE000u, 0x80000u, 0x40000u, 0xFF000u, 0x00000u})
            KVMemoryConfig(value);
    }
    ~MappedMemory() override
    {
        KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
        KVSetMemoryModule(KV_MODULE_PORT1, nullptr, 0);
    }

    void fill()
    {
        for (uint32_t i = 0; i < RamNibbles; ++i)
            Ram[i] = (i * 3 + 1) & 15;
        for (uint32_t i = 0; i < PortNibbles; ++i)
            Port[i] = (i * 5 + 2) & 15;
        M.Rom[0xFDFFE] = 7, M.Rom[0xFDFFF] = 8;
    }

    Machine M;
    std::vector<uint8_t> Ram, Port;
};

TEST_F(MappedMemory, WritesCrossTheTopOfMemoryAndPageBoundaries)
{
    for (bool decimal : {false, true}) {
        SelectMode(decimal);
        fill();
        SetLive(Cpu.A, 0x0000000000054321ull);
        SetLive(Cpu.C, 0x87654321FEDCBA98ull);

        Cpu.D0 = 0xFFFFE;
        RunOnce(M, "140"); // DAT0=A A: two nibbles of RAM, then three of port 1
        EXPECT_EQ(std::vector<uint8_t>(Ram.begin() + 0x1FFE, Ram.begin() + 0x2000), (std::vector<uint8_t>{1, 2}));
        EXPECT_EQ(std::vector<uint8_t>(Port.begin(), Port.begin() + 4), (std::vector<uint8_t>{3, 4, 5, 1}));
        EXPECT_EQ(Cpu.D0, 0xFFFFEu);

        Cpu.D1 = 0xFDFFE;
        RunOnce(M, "15D7"); // DAT1=C 8 nibbles: the ROM ignores two, RAM takes six
        EXPECT_EQ(M.Rom[0xFDFFE], 7);
        EXPECT_EQ(M.Rom[0xFDFFF], 8);
        EXPECT_EQ(std::vector<uint8_t>(Ram.begin(), Ram.begin() + 7),
                  (std::vector<uint8_t>{0xA, 0xB, 0xC, 0xD, 0xE, 0xF, (6 * 3 + 1) & 15}));
        EXPECT_EQ(StaleForm(Cpu.C), Stale);
    }
}

// CRC-16, reflected, polynomial 0x8408, four bits per nibble.
uint32_t Crc(uint32_t crc, const std::vector<uint32_t>& nibbles)
{
    for (uint32_t nibble : nibbles) {
        for (int bit = 0; bit < 4; ++bit) {
            const bool low = (crc ^ (nibble >> bit)) & 1;
            crc = (crc >> 1) ^ (low ? 0x8408 : 0);
        }
    }
    return crc;
}

TEST_F(MappedMemory, ReadsFeedTheCrcInAddressOrder)
{
    ASSERT_EQ(Crc(0, {1}), 0x1081u); // the model against a value by hand
    for (bool decimal : {false, true}) {
        SelectMode(decimal);
        fill();
        SetLive(Cpu.C, 0);
        korvane::CrcRegister = 0x1234;
        Cpu.D1 = 0xFFFF8;
        RunOnce(M, "15FF"); // C=DAT1 16 nibbles: eight of RAM, then eight of port 1
        std::vector<uint32_t> nibbles;
        uint64_t want = 0;
        for (unsigned i = 0; i < 16; ++i) {
            nibbles.push_back(i < 8 ? Ram[0x1FF8 + i] : Port[i - 8]);
            want |= uint64_t{nibbles.back()} << (4 * i);
        }
        EXPECT_EQ(test::Value(Cpu.C), want);
        EXPECT_EQ(StaleForm(Cpu.C), Stale);
        EXPECT_EQ(korvane::CrcRegister, Crc(0x1234, nibbles));
    }
}

} // namespace
