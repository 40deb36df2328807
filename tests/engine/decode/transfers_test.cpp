#include <gtest/gtest.h>

#include <array>
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
constexpr uint64_t StaleMarker = 0x5A5A5A5A5A5A5A5Aull;
constexpr uint64_t AValue = 0x0123456789ABCDEFull;
constexpr uint64_t BValue = 0x2222222222222222ull;
constexpr uint64_t CValue = 0xFEDCBA9876543210ull;
constexpr uint64_t DValue = 0x4444444444444444ull;

void SetPacked(NibbleRegister& r, uint64_t value)
{
    r.PackedLow = static_cast<uint32_t>(value);
    r.PackedHigh = static_cast<uint32_t>(value >> 32);
}

void SetUnpacked(NibbleRegister& r, uint64_t value)
{
    for (unsigned k = 0; k < 16; ++k)
        r.Nibbles[k] = (value >> (4 * k)) & 15;
}

uint64_t Packed(const NibbleRegister& r)
{
    return uint64_t{r.PackedHigh} << 32 | r.PackedLow;
}

uint64_t Unpacked(const NibbleRegister& r)
{
    uint64_t value = 0;
    for (unsigned k = 0; k < 16; ++k)
        value |= uint64_t{r.Nibbles[k]} << (4 * k);
    return value;
}

void SetLive(NibbleRegister& r, bool decimal, uint64_t value)
{
    SetPacked(r, decimal ? StaleMarker : value);
    SetUnpacked(r, decimal ? value : StaleMarker);
}

uint64_t Live(const NibbleRegister& r, bool decimal)
{
    return decimal ? Unpacked(r) : Packed(r);
}

uint64_t Stale(const NibbleRegister& r, bool decimal)
{
    return decimal ? Packed(r) : Unpacked(r);
}

void SelectMode(bool decimal)
{
    if (decimal)
        korvane::SwitchToDecimal();
    else
        korvane::SwitchToHex();
}

// Places the opcode (hexadecimal digits) at Origin and runs it once.
void RunAtOrigin(Machine& m, const std::string& opcode)
{
    for (size_t i = 0; i < opcode.size(); ++i)
        m.Rom[Origin + i] = static_cast<uint8_t>(std::stoul(opcode.substr(i, 1), nullptr, 16));
    Cpu.PC = Origin;
    Cpu.SliceCycles = 0;
    m.step();
}

std::string Hex(unsigned value)
{
    return std::string(1, "0123456789ABCDEF"[value & 15]);
}

// ---------------------------------------------------------------------------
// Every access recorded: the memory tables are replaced by recorders, so the
// order of addresses, the page each one is looked up by, and which of the
// one-nibble and five-nibble reads a transfer uses are all visible.

struct Access {
    char Kind; // 'r' one nibble, 'a' five nibbles, 'w' write
    uint32_t Address;
    uint32_t Nibble;
    bool operator==(const Access&) const = default;
};

std::vector<Access> Log;

// What memory holds at an address: consecutive addresses differ.
uint32_t Content(uint32_t address)
{
    return (address * 7 + (address >> 12) * 3 + 5) & 15;
}

uint32_t RecordRead(uint32_t address)
{
    Log.push_back({'r', address, Content(address)});
    return Content(address);
}

uint32_t RecordReadAddress(uint32_t address)
{
    Log.push_back({'a', address, 0});
    uint32_t value = 0;
    for (uint32_t i = 0; i < 5; ++i)
        value |= Content((address + i) & 0xFFFFF) << (4 * i);
    return value;
}

void RecordWrite(uint32_t address, uint32_t nibble)
{
    Log.push_back({'w', address, nibble});
}

class RecordedMemory {
public:
    RecordedMemory()
    {
        std::memcpy(SavedRead, korvane::ReadNibbleTable, sizeof SavedRead);
        std::memcpy(SavedAddress, korvane::ReadAddressTable, sizeof SavedAddress);
        std::memcpy(SavedWrite, korvane::WriteNibbleTable, sizeof SavedWrite);
        for (unsigned set = 0; set < 256; ++set) {
            korvane::ReadNibbleTable[set] = &RecordRead;
            korvane::ReadAddressTable[set] = &RecordReadAddress;
            korvane::WriteNibbleTable[set] = &RecordWrite;
        }
    }
    ~RecordedMemory()
    {
        std::memcpy(korvane::ReadNibbleTable, SavedRead, sizeof SavedRead);
        std::memcpy(korvane::ReadAddressTable, SavedAddress, sizeof SavedAddress);
        std::memcpy(korvane::WriteNibbleTable, SavedWrite, sizeof SavedWrite);
    }

private:
    korvane::ReadNibbleProc SavedRead[256];
    korvane::ReadAddressProc SavedAddress[256];
    korvane::WriteNibbleProc SavedWrite[256];
};

// What a transfer moves, written out from the opcode map by hand.
struct Form {
    unsigned Start;
    unsigned Count;
    unsigned Length;
    uint32_t Cost;
    bool OneCall; // the hexadecimal field-A reads
};

Form ExpectedForm(bool short14, unsigned x, unsigned y, unsigned p, bool decimal)
{
    const bool read = (x & 2) != 0;
    if (short14) {
        const bool fieldA = x < 8;
        return {0, fieldA ? 5u : 2u, 3, fieldA ? (read ? 82u : 78u) : (read ? 78u : 66u), fieldA && read && !decimal};
    }
    if (x >= 8)
        return {0, y + 1, 4, (read ? 76u : 72u) + 6 * (y + 1), false};
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
    struct Pointers {
        uint32_t D0, D1;
    };
    // A page crossing for one pointer and the top of memory for the other.
    const Pointers pointers[] = {{0xFFFFB, 0x12FFE}, {0x0AFFD, 0xFFFFF}};
    int failures = 0;
    for (bool decimal : {false, true}) {
        SelectMode(decimal);
        for (const Pointers& ptr : pointers) {
            for (unsigned p : {0u, 3u, 8u, 15u}) {
                for (unsigned opcode = 0x140; opcode < 0x160; ++opcode) {
                    const bool short14 = opcode < 0x150;
                    const unsigned x = opcode & 15;
                    for (unsigned y = 0; y < (short14 ? 1u : 16u); ++y) {
                        SetLive(Cpu.A, decimal, AValue);
                        SetLive(Cpu.B, decimal, BValue);
                        SetLive(Cpu.C, decimal, CValue);
                        SetLive(Cpu.D, decimal, DValue);
                        Cpu.D0 = ptr.D0;
                        Cpu.D1 = ptr.D1;
                        korvane::SetP(static_cast<uint8_t>(p));
                        Cpu.Carry = 1;
                        std::string text = (short14 ? "14" : "15") + Hex(x) + (short14 ? "" : Hex(y));
                        Log.clear();
                        {
                            RecordedMemory recorder;
                            RunAtOrigin(m, text);
                        }

                        const Form form = ExpectedForm(short14, x, y, p, decimal);
                        const bool read = (x & 2) != 0;
                        const uint32_t pointer = (x & 1) ? ptr.D1 : ptr.D0;
                        const uint64_t before = (x & 4) ? CValue : AValue;
                        std::array<uint32_t, 16> nibble{};
                        for (unsigned k = 0; k < 16; ++k)
                            nibble[k] = (before >> (4 * k)) & 15;

                        std::vector<Access> want;
                        if (form.OneCall)
                            want.push_back({'a', pointer, 0});
                        for (unsigned i = 0; i < form.Count; ++i) {
                            const uint32_t address = (pointer + i) & 0xFFFFF;
                            if (!read)
                                want.push_back({'w', address, nibble[form.Start + i]});
                            else if (!form.OneCall)
                                want.push_back({'r', address, Content(address)});
                            if (read)
                                nibble[form.Start + i] = Content(address);
                        }
                        uint64_t after = 0;
                        for (unsigned k = 0; k < 16; ++k)
                            after |= uint64_t{nibble[k]} << (4 * k);

                        const NibbleRegister& named = (x & 4) ? Cpu.C : Cpu.A;
                        const NibbleRegister& other = (x & 4) ? Cpu.A : Cpu.C;
                        const bool ok = Log == want && Live(named, decimal) == after &&
                                        Live(other, decimal) == ((x & 4) ? AValue : CValue) &&
                                        Live(Cpu.B, decimal) == BValue && Live(Cpu.D, decimal) == DValue &&
                                        Stale(Cpu.A, decimal) == StaleMarker && Stale(Cpu.C, decimal) == StaleMarker &&
                                        Cpu.PC == Origin + form.Length && Cpu.SliceCycles == form.Cost &&
                                        Cpu.D0 == ptr.D0 && Cpu.D1 == ptr.D1 && Cpu.P == p && Cpu.Carry == 1;
                        if (!ok) {
                            ADD_FAILURE() << text << " decimal " << decimal << " P=" << p << std::hex << " D0=" << ptr.D0
                                          << " D1=" << ptr.D1 << ": register " << Live(named, decimal) << " want "
                                          << after << ", " << Log.size() << " accesses (want " << want.size()
                                          << "), PC " << Cpu.PC << ", cycles " << std::dec << Cpu.SliceCycles
                                          << " want " << form.Cost;
                            if (++failures >= 10)
                                return;
                        }
                    }
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Real memory: RAM over the top two pages, port 1 over page 0, the ROM
// everywhere else.

constexpr uint32_t RamBase = 0xFE000;
constexpr uint32_t RamNibbles = 0x2000;
constexpr uint32_t PortNibbles = 0x1000;

// CRC-16, reflected, polynomial 0x8408, four bits per nibble.
uint32_t CrcOf(uint32_t crc, const std::vector<uint32_t>& nibbles)
{
    for (uint32_t nibble : nibbles) {
        for (int bit = 0; bit < 4; ++bit) {
            const bool low = ((crc ^ (nibble >> bit)) & 1) != 0;
            crc >>= 1;
            if (low)
                crc ^= 0x8408;
        }
    }
    return crc;
}

class MappedMemory : public testing::Test {
protected:
    MappedMemory() : Ram(test::NibbleBuffer(RamNibbles)), Port(test::NibbleBuffer(PortNibbles))
    {
        Fill();
        KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), RamNibbles - 1);
        KVSetMemoryModule(KV_MODULE_PORT1, Port.data(), PortNibbles - 1);
        // The I/O window out of the way, RAM over 0xFE000-0xFFFFF, the bank
        // switcher configured over no page, port 1 over page 0.
        for (uint32_t value : {0x30000u, 0xFE000u, RamBase, 0x80000u, 0x40000u, 0xFF000u, 0x00000u})
            KVMemoryConfig(value);
        korvane::CrcRegister = 0x1234;
    }
    ~MappedMemory() override
    {
        KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
        KVSetMemoryModule(KV_MODULE_PORT1, nullptr, 0);
    }

    void Fill()
    {
        for (uint32_t i = 0; i < RamNibbles; ++i)
            Ram[i] = static_cast<uint8_t>((i * 3 + 1) & 15);
        for (uint32_t i = 0; i < PortNibbles; ++i)
            Port[i] = static_cast<uint8_t>((i * 5 + 2) & 15);
        for (uint32_t a = 0xFD000; a < 0xFF010; ++a)
            M.Rom[a] = static_cast<uint8_t>((a * 11 + 4) & 15);
    }

    Machine M;
    std::vector<uint8_t> Ram;
    std::vector<uint8_t> Port;
};

TEST_F(MappedMemory, WritesCrossTheTopOfMemoryAndPageBoundaries)
{
    for (bool decimal : {false, true}) {
        SelectMode(decimal);
        Fill();
        SetLive(Cpu.A, decimal, 0x0000000000054321ull);
        SetLive(Cpu.C, decimal, 0x87654321FEDCBA98ull);

        Cpu.D0 = 0xFFFFE;
        RunAtOrigin(M, "140"); // DAT0=A A
        EXPECT_EQ(Ram[0x1FFE], 1);
        EXPECT_EQ(Ram[0x1FFF], 2);
        EXPECT_EQ(Port[0], 3);
        EXPECT_EQ(Port[1], 4);
        EXPECT_EQ(Port[2], 5);
        EXPECT_EQ(Port[3], (3 * 5 + 2) & 15); // the next nibble keeps its value
        EXPECT_EQ(Cpu.D0, 0xFFFFEu);
        EXPECT_EQ(Cpu.SliceCycles, 78u);

        // From the ROM's last page into RAM: the ROM ignores the first two.
        Cpu.D1 = 0xFDFFE;
        RunAtOrigin(M, "15D7"); // DAT1=C 8 nibbles
        EXPECT_EQ(M.Rom[0xFDFFE], (0xFDFFE * 11 + 4) & 15);
        EXPECT_EQ(M.Rom[0xFDFFF], (0xFDFFF * 11 + 4) & 15);
        const uint8_t written[6] = {0xA, 0xB, 0xC, 0xD, 0xE, 0xF};
        for (unsigned i = 0; i < 6; ++i)
            EXPECT_EQ(Ram[i], written[i]) << i;
        EXPECT_EQ(Ram[6], (6 * 3 + 1) & 15);
        EXPECT_EQ(Cpu.SliceCycles, 72u + 6 * 8);
        EXPECT_EQ(Stale(Cpu.C, decimal), StaleMarker);
    }
}

TEST_F(MappedMemory, ReadsFeedTheCrcInAddressOrder)
{
    for (bool decimal : {false, true}) {
        SelectMode(decimal);
        SetLive(Cpu.C, decimal, 0);
        korvane::CrcRegister = 0x1234;
        Cpu.D1 = 0xFFFF8;
        RunAtOrigin(M, "15FF"); // C=DAT1 16 nibbles: eight of RAM, then eight of port 1
        std::vector<uint32_t> nibbles;
        uint64_t want = 0;
        for (unsigned i = 0; i < 16; ++i) {
            const uint32_t nibble = i < 8 ? Ram[0x1FF8 + i] : Port[i - 8];
            nibbles.push_back(nibble);
            want |= uint64_t{nibble} << (4 * i);
        }
        EXPECT_EQ(Live(Cpu.C, decimal), want);
        EXPECT_EQ(Stale(Cpu.C, decimal), StaleMarker);
        EXPECT_EQ(korvane::CrcRegister, CrcOf(0x1234, nibbles));
        EXPECT_EQ(Cpu.SliceCycles, 172u);
    }
    EXPECT_EQ(CrcOf(0, {1}), 0x1081u); // the model itself, by hand
}

// Across the ROM's last page into RAM: the hexadecimal field-A read makes one
// five-nibble read of the module at D0's page, which takes five consecutive
// places of its own buffer; the decimal read and the five-nibble count form
// ask each nibble's own page.
TEST_F(MappedMemory, FieldAReadsAtAPageEnd)
{
    const uint32_t d0 = 0xFDFFE;
    std::vector<uint32_t> rom, mixed;
    uint32_t romValue = 0, mixedValue = 0;
    for (uint32_t i = 0; i < 5; ++i) {
        rom.push_back(M.Rom[d0 + i]);
        mixed.push_back(i < 2 ? M.Rom[d0 + i] : Ram[i - 2]);
        romValue |= rom.back() << (4 * i);
        mixedValue |= mixed.back() << (4 * i);
    }
    ASSERT_NE(romValue, mixedValue);

    struct Case {
        const char* Opcode;
        bool Decimal;
        uint32_t Want;
        const std::vector<uint32_t>* Read;
    };
    const Case cases[] = {
        {"142", false, romValue, &rom},    {"1528", false, romValue, &rom},  {"142", true, mixedValue, &mixed},
        {"152F", true, mixedValue, &mixed}, {"15A4", false, mixedValue, &mixed}, {"15A4", true, mixedValue, &mixed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Opcode << " decimal " << c.Decimal);
        SelectMode(c.Decimal);
        SetLive(Cpu.A, c.Decimal, 0xFFFFFFFFFFFFFFFFull);
        Cpu.D0 = d0;
        korvane::CrcRegister = 0;
        RunAtOrigin(M, c.Opcode);
        EXPECT_EQ(Live(Cpu.A, c.Decimal), 0xFFFFFFFFFFF00000ull | c.Want);
        EXPECT_EQ(korvane::CrcRegister, CrcOf(0, *c.Read));
    }
}

TEST_F(MappedMemory, BreakpointTagsNeverReachARegisterAndWritesClearThem)
{
    for (uint32_t i = 0; i < 16; ++i)
        Ram[0x100 + i] = static_cast<uint8_t>(0x10 | i);
    for (bool decimal : {false, true}) {
        SelectMode(decimal);
        for (const char* opcode : {"142", "1528", "15AF"}) {
            SCOPED_TRACE(testing::Message() << opcode << " decimal " << decimal);
            SetLive(Cpu.A, decimal, 0);
            Cpu.D0 = RamBase + 0x100;
            RunAtOrigin(M, opcode);
            const uint64_t want = std::string(opcode) == "15AF" ? 0xFEDCBA9876543210ull : 0x43210ull;
            EXPECT_EQ(Live(Cpu.A, decimal), want);
        }
    }
    SelectMode(false);
    SetLive(Cpu.C, false, 0x21);
    Cpu.D1 = RamBase + 0x100;
    RunAtOrigin(M, "14D"); // DAT1=C B
    EXPECT_EQ(Ram[0x100], 0x01);
    EXPECT_EQ(Ram[0x101], 0x02);
    EXPECT_EQ(Ram[0x102], 0x12);
}

} // namespace
