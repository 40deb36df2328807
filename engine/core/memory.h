// The memory controller: a 20-bit space of nibbles shared by the modules.
// Every data access costs one look-up by page and one indirect call; the
// module that answers is precomputed per set of configured modules.
#pragma once

#include <array>
#include <cstdint>

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

struct MemoryModule {
    uint32_t State;
    uint32_t Base;
    uint32_t SizeMask;
    uint8_t* Buffer;
    uint32_t BufferMask;
};

struct ModuleAccess {
    FetchPageProc FetchPage;
    ReadNibbleProc ReadNibble;
    ReadAddressProc ReadAddress;
    WriteNibbleProc WriteNibble;
};

extern MemoryModule Modules[8];
extern ModuleAccess ModuleAccessTables[8];

extern uint32_t PageModuleMask[256];
extern const std::array<uint32_t, 256> ModulePriority;
extern FetchPageProc FetchPageTable[256];
extern ReadNibbleProc ReadNibbleTable[256];
extern ReadAddressProc ReadAddressTable[256];
extern WriteNibbleProc WriteNibbleTable[256];
extern const uint8_t* PageFetchPointer[256];
extern const uint8_t BlankPage[PageSize + BufferSlack];

extern uint32_t CrcRegister;

inline constexpr unsigned PageOf(uint32_t address)
{
    return (address >> 12) & 0xFF;
}

inline uint32_t ReadNibble(uint32_t address)
{
    return ReadNibbleTable[PageModuleMask[PageOf(address)]](address);
}

inline uint32_t ReadAddress(uint32_t address)
{
    return ReadAddressTable[PageModuleMask[PageOf(address)]](address);
}

inline void WriteNibble(uint32_t address, uint32_t nibble)
{
    WriteNibbleTable[PageModuleMask[PageOf(address)]](address, nibble);
}

inline void UpdateCrc(uint32_t nibble)
{
    CrcRegister = ((CrcRegister >> 4) ^ (((CrcRegister ^ nibble) & 15) * 0x1081)) & 0xFFFF;
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
