// The memory controller: a 20-bit space of nibbles shared by the modules.
// Every data access costs one look-up by page and one indirect call; the
// module that answers is precomputed per set of configured modules.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "engine/core/cpu_state.h"

#pragma GCC visibility push(hidden)
namespace korvane {

enum ModuleId : uint32_t {
    ModuleIo = 0,
    ModuleRam = 1,
    ModuleBankSwitcher = 2,
    ModulePort1 = 3,
    ModulePort2 = 4,
    ModuleRom = 5,
    ModuleNone = 7,
};

inline constexpr uint32_t ModuleUnconfigured = 0;
inline constexpr uint32_t ModuleSized = 1;
inline constexpr uint32_t ModuleConfigured = 2;

inline constexpr uint32_t PageSize = 4096;
// Bytes readable past every buffer: the longest instruction, or a five-nibble
// read, that starts at a buffer's last nibble stays inside it.
inline constexpr uint32_t BufferSlack = 64;

using FetchPageProc = const uint8_t* (*)(uint32_t pageAddress);
using ReadNibbleProc = uint32_t (*)(uint32_t address);
using ReadAddressProc = uint32_t (*)(uint32_t address);
using WriteNibbleProc = void (*)(uint32_t address, uint32_t nibble);
// The host byte of a page's first nibble where the module's data reads (or
// writes) in that page are plain, or null where its functions must run.
using ReadPageProc = const uint8_t* (*)(uint32_t pageAddress);
using WritePageProc = uint8_t* (*)(uint32_t pageAddress);

struct MemoryModule {
    uint32_t State;
    uint32_t Base;
    uint32_t SizeMask;
    uint8_t* Buffer;
    uint32_t BufferMask;
};

// A plain read takes a byte's low four bits and counts the nibble in the
// CRC, as the buffer modules' read functions do; a plain write stores the
// nibble as the whole byte. A module whose reads or writes do anything else
// (registers, bank selection, the flash, the blank module's zeros) leaves
// ReadPage or WritePage null.
struct ModuleAccess {
    FetchPageProc FetchPage;
    ReadNibbleProc ReadNibble;
    ReadAddressProc ReadAddress;
    WriteNibbleProc WriteNibble;
    ReadPageProc ReadPage;
    WritePageProc WritePage;
};

extern MemoryModule Modules[8];
extern ModuleAccess ModuleAccessTables[8];

extern const std::array<uint32_t, 256> ModulePriority;

// The memory map, recomputed whenever a mapping changes. For each of the 256
// pages: where instruction fetch and plain data accesses go, so that they need
// one look-up and no call. For each set of configured modules: the access
// functions of the module that answers for it. Each is a table of its own
// rather than a table of records: the hot path then reaches an entry with one
// scaled index, where a record of several fields would cost an instruction
// more per fetch.
struct PageMap {
    const uint8_t* Fetch[256]; // the host byte of the page's first nibble, for instruction fetch
    const uint8_t* Read[256];  // the same for data reads where they are plain, else null
    uint8_t* Write[256];       // the same for data writes where they are plain, else null
    uint32_t Modules[256];     // the configured modules that cover the page, bit 1 << id
};

struct SetAccess {
    FetchPageProc FetchPage[256];
    ReadNibbleProc ReadNibble[256];
    ReadAddressProc ReadAddress[256];
    WriteNibbleProc WriteNibble[256];
    ReadPageProc ReadPage[256];
    WritePageProc WritePage[256];
};

struct MemoryMap {
    PageMap Pages;
    SetAccess BySet;
};
extern MemoryMap Memory;

extern const uint8_t BlankPage[PageSize + BufferSlack];

extern uint32_t CrcRegister;

// Set by every data access that leaves the plain pages for a module's
// functions (or crosses a page): those may post a request, change the memory
// map or call out of the engine, which the threaded loop must then see. Only
// the thread that runs instructions writes it; the loop clears it.
extern bool SlowAccessTaken;

inline constexpr unsigned PageOf(uint32_t address)
{
    return (address >> 12) & 0xFF;
}

constexpr uint32_t NextCrc(uint32_t crc, uint32_t nibble)
{
    return ((crc >> 4) ^ (((crc ^ nibble) & 15) * 0x1081)) & 0xFFFF;
}

inline void UpdateCrc(uint32_t nibble)
{
    CrcRegister = NextCrc(CrcRegister, nibble);
}

// The CRC is linear, so two nibble steps make one step over the byte they
// form (first nibble low) through a table of what two steps do to a byte.
// Four nibble steps split the same way into two independent look-ups: the
// high byte takes one byte step, the low byte two.
inline constexpr std::array<uint16_t, 256> CrcByteSteps = [] {
    std::array<uint16_t, 256> table{};
    for (uint32_t byte = 0; byte < 256; ++byte)
        table[byte] = static_cast<uint16_t>(NextCrc(NextCrc(byte, 0), 0));
    return table;
}();

inline constexpr std::array<uint16_t, 256> CrcTwoByteSteps = [] {
    std::array<uint16_t, 256> table{};
    for (uint32_t byte = 0; byte < 256; ++byte) {
        uint32_t crc = byte;
        for (int step = 0; step < 4; ++step)
            crc = NextCrc(crc, 0);
        table[byte] = static_cast<uint16_t>(crc);
    }
    return table;
}();

// Five nibble steps split likewise: the first four act on the CRC with the
// low sixteen bits of value through a table by byte, and the fifth nibble
// enters at the last step alone.
inline constexpr std::array<std::array<uint16_t, 256>, 2> CrcFiveStepBytes = [] {
    std::array<std::array<uint16_t, 256>, 2> table{};
    for (uint32_t half = 0; half < 2; ++half) {
        for (uint32_t byte = 0; byte < 256; ++byte) {
            uint32_t crc = byte << (8 * half);
            for (int step = 0; step < 5; ++step)
                crc = NextCrc(crc, 0);
            table[half][byte] = static_cast<uint16_t>(crc);
        }
    }
    return table;
}();

// The CRC after sixteen nibbles, by Barrett reduction. The CRC takes each
// nibble's lowest bit first, so the 64 bits of value XOR the CRC are the
// message reflected; the quotient's 16 lowest terms come from one carry-less
// product with floor(x^80 / P) less x^64, reflected. The remainder is those
// terms times P less x^16, x^12 + x^5 + 1, which reflected is 0x1081: two
// shifts and two XORs.
[[gnu::always_inline]] inline uint32_t CrcOfSixteenNibbles(uint32_t crc, uint64_t value)
{
    constexpr uint64_t ReflectedQuotient = 0xC2CD82058E2C0C88ull;
    const uint64_t message = value ^ crc;
    const uint64_t quotient = (message ^ CarrylessProductLow(message, ReflectedQuotient) << 1) >> 48;
    return static_cast<uint32_t>((quotient ^ quotient << 7 ^ quotient << 12) >> 12) & 0xFFFF;
}

// The CRC after count nibbles of value, first nibble lowest, in that order.
[[gnu::always_inline]] inline uint32_t CrcOfNibbles(uint32_t crc, uint64_t value, unsigned count)
{
    if (count == 16 && HostHasPclmul) [[likely]]
        return CrcOfSixteenNibbles(crc, value);
    if (count == 5) {
        const uint32_t x = (crc ^ static_cast<uint32_t>(value)) & 0xFFFF;
        return CrcFiveStepBytes[0][x & 0xFF] ^ CrcFiveStepBytes[1][x >> 8] ^
               (static_cast<uint32_t>(value >> 16) & 15) * 0x1081;
    }
    unsigned k = 0;
    for (; k + 4 <= count; k += 4) {
        const uint32_t x = (crc ^ static_cast<uint32_t>(value >> (4 * k))) & 0xFFFF;
        crc = CrcByteSteps[x >> 8] ^ CrcTwoByteSteps[x & 0xFF];
    }
    if (k + 2 <= count) {
        crc = (crc >> 8) ^ CrcByteSteps[(crc ^ static_cast<uint32_t>(value >> (4 * k))) & 0xFF];
        k += 2;
    }
    if (k < count)
        crc = NextCrc(crc, static_cast<uint32_t>(value >> (4 * k)) & 15);
    return crc;
}

// count nibble bytes (at most 16) as a value, first nibble lowest. The
// bytes are read in words of eight: a plain page always has the buffer
// slack after it, so a word that starts before its end stays in the buffer.
[[gnu::always_inline]] inline uint64_t GatherNibbleBytes(const uint8_t* bytes, unsigned count)
{
    uint64_t low;
    std::memcpy(&low, bytes, sizeof low);
    if (count <= 8)
        return GatherNibbleWord(low, count);
    uint64_t high;
    std::memcpy(&high, bytes + 8, sizeof high);
    return GatherNibbleWord(low, 8) | uint64_t{GatherNibbleWord(high, count - 8)} << 32;
}

// Nibble k of value into byte k, for count bytes (at most 16): in stores of
// eight, four, two and one bytes by the bits of the count, so no byte after
// the last is rewritten. Where the count is known when compiling, this is a
// few plain stores.
[[gnu::always_inline]] inline void ScatterNibbleBytes(uint8_t* bytes, unsigned count, uint64_t value)
{
    if (count >= 8) {
        const uint64_t word = SpreadNibbleWord(static_cast<uint32_t>(value));
        std::memcpy(bytes, &word, sizeof word);
        bytes += 8;
        count -= 8;
        value >>= 32;
    }
    if (count >= 8) {
        const uint64_t word = SpreadNibbleWord(static_cast<uint32_t>(value));
        std::memcpy(bytes, &word, sizeof word);
        return;
    }
    if (count == 0)
        return;
    uint64_t spread = SpreadNibbleWord(static_cast<uint32_t>(value));
    if (count & 4) {
        const uint32_t four = static_cast<uint32_t>(spread);
        std::memcpy(bytes, &four, sizeof four);
        bytes += 4;
        spread >>= 32;
    }
    if (count & 2) {
        const uint16_t two = static_cast<uint16_t>(spread);
        std::memcpy(bytes, &two, sizeof two);
        bytes += 2;
        spread >>= 16;
    }
    if (count & 1)
        *bytes = static_cast<uint8_t>(spread);
}

inline uint32_t ReadNibble(uint32_t address)
{
    if (const uint8_t* page = Memory.Pages.Read[PageOf(address)]) {
        const uint32_t nibble = page[address & (PageSize - 1)] & 0x0F;
        UpdateCrc(nibble);
        return nibble;
    }
    SlowAccessTaken = true;
    return Memory.BySet.ReadNibble[Memory.Pages.Modules[PageOf(address)]](address);
}

// Five nibbles of the first nibble's module: where its page reads plainly,
// the four after it come from the same buffer even past the page's end, as
// the buffer modules' own function reads them.
inline uint32_t ReadAddress(uint32_t address)
{
    if (const uint8_t* page = Memory.Pages.Read[PageOf(address)]) {
        const uint32_t value = static_cast<uint32_t>(GatherNibbleBytes(page + (address & (PageSize - 1)), 5));
        CrcRegister = CrcOfNibbles(CrcRegister, value, 5);
        return value;
    }
    SlowAccessTaken = true;
    return Memory.BySet.ReadAddress[Memory.Pages.Modules[PageOf(address)]](address);
}

inline void WriteNibble(uint32_t address, uint32_t nibble)
{
    if (uint8_t* page = Memory.Pages.Write[PageOf(address)]) {
        page[address & (PageSize - 1)] = static_cast<uint8_t>(nibble & 0x0F);
        return;
    }
    SlowAccessTaken = true;
    Memory.BySet.WriteNibble[Memory.Pages.Modules[PageOf(address)]](address, nibble);
}

// The nibbles before the next page boundary, at most count.
inline unsigned NibblesInPage(uint32_t address, unsigned count)
{
    const unsigned left = PageSize - (address & (PageSize - 1));
    return count < left ? count : left;
}

// count nibbles (at most 16) from address on, wrapping at 20 bits, the first
// lowest in the result. Each is read in address order through its own page:
// a run in a plain page straight from the buffer, any other nibble through
// the page's function, so registers and the CRC see them as single reads.
uint64_t ReadNibbleRunAcrossPages(uint32_t address, unsigned count);

// The usual transfer lies in one plain page and is read here without a call.
[[gnu::always_inline]] inline uint64_t ReadNibbleRun(uint32_t address, unsigned count)
{
    if (count == 1) // one nibble, which no run needs to be found for
        return ReadNibble(address & 0xFFFFF);
    const uint32_t offset = address & (PageSize - 1);
    const uint8_t* page = Memory.Pages.Read[PageOf(address)];
    if (!page || offset + count > PageSize)
        return ReadNibbleRunAcrossPages(address, count);
    const uint64_t value = GatherNibbleBytes(page + offset, count);
    CrcRegister = CrcOfNibbles(CrcRegister, value, count);
    return value;
}

// The write counterpart: nibble k of value goes to address + k.
void WriteNibbleRunAcrossPages(uint32_t address, unsigned count, uint64_t value);

[[gnu::always_inline]] inline void WriteNibbleRun(uint32_t address, unsigned count, uint64_t value)
{
    if (count == 1)
        return WriteNibble(address & 0xFFFFF, static_cast<uint32_t>(value & 15));
    const uint32_t offset = address & (PageSize - 1);
    uint8_t* page = Memory.Pages.Write[PageOf(address)];
    if (!page || offset + count > PageSize)
        return WriteNibbleRunAcrossPages(address, count, value);
    ScatterNibbleBytes(page + offset, count, value);
}

// A data read of the nibble byte: the breakpoint tag is stripped and the
// nibble goes through the CRC.
inline uint32_t ReadDataNibble(const uint8_t* byte)
{
    const uint32_t nibble = *byte & 0x0F;
    UpdateCrc(nibble);
    return nibble;
}

// Five consecutive nibble bytes as a 20-bit value, lowest first.
inline uint32_t ReadDataAddress(const uint8_t* bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < 5; ++i)
        value |= ReadDataNibble(bytes + i) << (4 * i);
    return value;
}

// The module that answers for a set of configured modules, and for the set
// with the given modules taken out (the module under the I/O window or under
// the bank switcher).
inline uint32_t ModuleUnder(uint32_t set, uint32_t removed)
{
    return ModulePriority[set & ~removed & 0xFF];
}

void InitMemoryController();
// Copies the modules' access functions into the per-set tables and
// recomputes every page's fetch pointer.
void RebuildAccessTables();
void RecomputeFetchPointers(unsigned firstPage, unsigned count);

// Access functions shared by the module families.
uint32_t ReadZero(uint32_t address);
uint32_t ReadAddressZero(uint32_t address);
void IgnoreWrite(uint32_t address, uint32_t nibble);
const uint8_t* BlankFetchPage(uint32_t pageAddress);

// The module configuration chain.
void ConfigureModule(uint32_t value);
void UnconfigureModule(uint32_t address);
uint32_t GetModuleId();
void ResetMemoryConfig();
// Adds module id to every page it covers by the page rule.
void MapConfiguredModule(uint32_t id);
void SetMemoryModule(uint32_t id, uint8_t* buffer, uint32_t mask);
uint32_t TranslateAddress(uint32_t address, uint32_t* module);
// The slots a module gets for its buffer, or the blank set without one.
void InstallModuleAccess(uint32_t id);

} // namespace korvane
#pragma GCC visibility pop
