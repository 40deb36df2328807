#include "engine/core/memory.h"

#include <array>

#include "engine/core/banks.h"
#include "engine/core/code_cache.h"
#include "engine/core/io_registers.h"
#include "korvane.h"

namespace korvane {

namespace {

// The lowest configured module among 0 to 4 answers; the ROM lies under
// everything; a set with neither answers "none".
constexpr std::array<uint32_t, 256> BuildModulePriority()
{
    std::array<uint32_t, 256> priority{};
    for (uint32_t set = 0; set < 256; ++set) {
        uint32_t answer = ModuleNone;
        for (uint32_t bit = 0; bit < 6; ++bit) {
            if (set & (1u << bit)) {
                answer = bit;
                break;
            }
        }
        priority[set] = answer;
    }
    return priority;
}

uint32_t BufferReadNibble(uint32_t id, uint32_t address)
{
    const MemoryModule& m = Modules[id];
    return ReadDataNibble(m.Buffer + (address & m.BufferMask));
}

// Five consecutive bytes of the buffer from the first nibble's index on; the
// later nibbles come from this buffer whatever module answers there.
uint32_t BufferReadAddress(uint32_t id, uint32_t address)
{
    const MemoryModule& m = Modules[id];
    return ReadDataAddress(m.Buffer + (address & m.BufferMask));
}

template <uint32_t Id>
const uint8_t* BufferFetchPage(uint32_t pageAddress)
{
    return Modules[Id].Buffer + (pageAddress & Modules[Id].BufferMask);
}

template <uint32_t Id>
uint32_t BufferModuleReadNibble(uint32_t address)
{
    return BufferReadNibble(Id, address);
}

template <uint32_t Id>
uint32_t BufferModuleReadAddress(uint32_t address)
{
    return BufferReadAddress(Id, address);
}

// A data write replaces the whole byte and so removes a breakpoint tag.
template <uint32_t Id>
void BufferWriteNibble(uint32_t address, uint32_t nibble)
{
    Modules[Id].Buffer[address & Modules[Id].BufferMask] = static_cast<uint8_t>(nibble & 0x0F);
}

// Every lent buffer covers whole pages, so each of its pages is plain.
template <uint32_t Id>
uint8_t* BufferWritePage(uint32_t pageAddress)
{
    return Modules[Id].Buffer + (pageAddress & Modules[Id].BufferMask);
}

template <uint32_t Id>
const uint8_t* BufferReadPage(uint32_t pageAddress)
{
    return BufferWritePage<Id>(pageAddress);
}

template <uint32_t Id>
constexpr ModuleAccess BufferAccess{&BufferFetchPage<Id>,       &BufferModuleReadNibble<Id>,
                                    &BufferModuleReadAddress<Id>, &BufferWriteNibble<Id>,
                                    &BufferReadPage<Id>,         &BufferWritePage<Id>};

// The blank module's reads give zeros without counting them in the CRC.
constexpr ModuleAccess BlankAccess{&BlankFetchPage, &ReadZero, &ReadAddressZero, &IgnoreWrite, nullptr, nullptr};

bool CoversPage(const MemoryModule& m, uint32_t page)
{
    return ((page << 12) & m.SizeMask) == (m.Base & 0xFF000);
}

void SetPagesOf(uint32_t id, bool mapped)
{
    const MemoryModule& m = Modules[id];
    for (uint32_t page = 0; page < 256; ++page) {
        if (!CoversPage(m, page))
            continue;
        if (mapped)
            Memory.Pages.Modules[page] |= 1u << id;
        else
            Memory.Pages.Modules[page] &= ~(1u << id);
        RecomputeFetchPointers(page, 1);
    }
}

} // namespace

MemoryModule Modules[8];
ModuleAccess ModuleAccessTables[8];
constinit const std::array<uint32_t, 256> ModulePriority = BuildModulePriority();
MemoryMap Memory;
constinit const uint8_t BlankPage[PageSize + BufferSlack] = {};
uint32_t CrcRegister;
bool SlowAccessTaken;

uint32_t ReadZero(uint32_t)
{
    return 0;
}

uint32_t ReadAddressZero(uint32_t)
{
    return 0;
}

void IgnoreWrite(uint32_t, uint32_t) {}

const uint8_t* BlankFetchPage(uint32_t)
{
    return BlankPage;
}

namespace {

// The plain part of a run, kept out of the loop below so that the loop over
// register nibbles stays short.
[[gnu::noinline]] uint64_t ReadPlainRun(const uint8_t* bytes, unsigned count)
{
    const uint64_t nibbles = GatherNibbleBytes(bytes, count);
    CrcRegister = CrcOfNibbles(CrcRegister, nibbles, count);
    return nibbles;
}

// The nibbles of a page that is not plain go one by one through its read
// function, which no read changes: the page is looked up once for its run.
[[gnu::noinline]] uint64_t ReadNibbleRunByPages(uint32_t address, unsigned count)
{
    uint64_t value = 0;
    for (unsigned done = 0; done < count;) {
        const uint32_t at = (address + done) & 0xFFFFF;
        const unsigned run = NibblesInPage(at, count - done);
        if (const uint8_t* page = Memory.Pages.Read[PageOf(at)]) {
            value |= ReadPlainRun(page + (at & (PageSize - 1)), run) << (4 * done);
            done += run;
            continue;
        }
        const ReadNibbleProc read = Memory.BySet.ReadNibble[Memory.Pages.Modules[PageOf(at)]];
        for (const unsigned end = done + run; done < end; ++done)
            value |= uint64_t{read((address + done) & 0xFFFFF)} << (4 * done);
    }
    return value;
}

} // namespace

// A run of the window's registers is read as IoReadNibble reads them, without
// a call per nibble.
uint64_t ReadNibbleRunAcrossPages(uint32_t address, unsigned count)
{
    SlowAccessTaken = true;
    const uint32_t first = address & 0xFFFFF;
    if (Memory.BySet.ReadNibble[Memory.Pages.Modules[PageOf(first)]] == &IoReadNibble && IoWindowHolds(first, count))
        return IoReadRegisters(first & 63, count);
    return ReadNibbleRunByPages(address, count);
}

// A write may switch a page's functions (the flash enable register does), so
// each nibble looks its page up again.
void WriteNibbleRunAcrossPages(uint32_t address, unsigned count, uint64_t value)
{
    SlowAccessTaken = true;
    for (unsigned done = 0; done < count;) {
        const uint32_t at = (address + done) & 0xFFFFF;
        uint8_t* page = Memory.Pages.Write[PageOf(at)];
        if (!page) {
            const uint32_t set = Memory.Pages.Modules[PageOf(at)];
            Memory.BySet.WriteNibble[set](at, static_cast<uint32_t>(value >> (4 * done)) & 15);
            ++done;
            continue;
        }
        const unsigned run = NibblesInPage(at, count - done);
        ScatterNibbleBytes(page + (at & (PageSize - 1)), run, value >> (4 * done));
        done += run;
    }
}

void RecomputeFetchPointers(unsigned firstPage, unsigned count)
{
    for (unsigned page = firstPage; page < firstPage + count && page < 256; ++page) {
        const uint32_t set = Memory.Pages.Modules[page];
        const ReadPageProc read = Memory.BySet.ReadPage[set];
        const WritePageProc write = Memory.BySet.WritePage[set];
        Memory.Pages.Fetch[page] = Memory.BySet.FetchPage[set](page << 12);
        Memory.Pages.Read[page] = read ? read(page << 12) : nullptr;
        Memory.Pages.Write[page] = write ? write(page << 12) : nullptr;
    }
    ForgetDecodedPages(firstPage, count);
}

void RebuildAccessTables()
{
    for (uint32_t set = 0; set < 256; ++set) {
        const ModuleAccess& access = ModuleAccessTables[ModulePriority[set]];
        Memory.BySet.FetchPage[set] = access.FetchPage;
        Memory.BySet.ReadNibble[set] = access.ReadNibble;
        Memory.BySet.ReadAddress[set] = access.ReadAddress;
        Memory.BySet.WriteNibble[set] = access.WriteNibble;
        Memory.BySet.ReadPage[set] = access.ReadPage;
        Memory.BySet.WritePage[set] = access.WritePage;
    }
    RecomputeFetchPointers(0, 256);
}

void InstallModuleAccess(uint32_t id)
{
    switch (id) {
    case ModuleRam:
        ModuleAccessTables[id] = Modules[id].Buffer ? BufferAccess<ModuleRam> : BlankAccess;
        break;
    case ModulePort1:
        ModuleAccessTables[id] = Modules[id].Buffer ? BufferAccess<ModulePort1> : BlankAccess;
        break;
    case ModulePort2:
        ModuleAccessTables[id] = Modules[id].Buffer ? BufferAccess<ModulePort2> : BlankAccess;
        break;
    default:
        break;
    }
}

void InitMemoryController()
{
    for (uint32_t id = 0; id < 8; ++id)
        ModuleAccessTables[id] = BlankAccess;
    ModuleAccessTables[ModuleIo] = {&IoFetchPage, &IoReadNibble, &IoReadAddress, &IoWriteNibble, nullptr, nullptr};
    ModuleAccessTables[ModuleBankSwitcher] = {&BankFetchPage, &BankReadNibble, &BankReadAddress, &BankWrite, nullptr,
                                              nullptr};
    Modules[ModuleIo].BufferMask = 63;
    RebuildAccessTables();
    ResetMemoryConfig();
}

void ResetMemoryConfig()
{
    for (uint32_t id = ModuleIo; id <= ModulePort2; ++id) {
        Modules[id].State = ModuleUnconfigured;
        Modules[id].SizeMask = 0xFF000;
        Modules[id].Base = 0;
    }
    for (uint32_t page = 0; page < 256; ++page)
        Memory.Pages.Modules[page] = 1u << ModuleRom;
    RecomputeFetchPointers(0, 256);
}

void MapConfiguredModule(uint32_t id)
{
    SetPagesOf(id, true);
}

void ConfigureModule(uint32_t value)
{
    MemoryModule& io = Modules[ModuleIo];
    if (io.State == ModuleUnconfigured) {
        io.State = ModuleConfigured;
        io.Base = value & 0xFFFC0;
        io.SizeMask = 0xFFFC0;
        SetPagesOf(ModuleIo, true);
        return;
    }
    for (uint32_t id = ModuleRam; id <= ModulePort2; ++id) {
        MemoryModule& m = Modules[id];
        if (m.State == ModuleUnconfigured) {
            m.SizeMask = value;
            m.State = ModuleSized;
            return;
        }
        if (m.State == ModuleSized) {
            m.Base = value;
            m.State = ModuleConfigured;
            SetPagesOf(id, true);
            return;
        }
    }
}

void UnconfigureModule(uint32_t address)
{
    uint32_t set = Memory.Pages.Modules[(address >> 12) & 0xFF];
    uint32_t id = ModulePriority[set];
    // An address outside the I/O window unconfigures the module under it.
    if ((address & 0xFFFC0) != Modules[ModuleIo].Base)
        id = ModuleUnder(set, 1u << ModuleIo);
    if (id > ModulePort2)
        return;
    Modules[id].State = ModuleUnconfigured;
    SetPagesOf(id, false);
}

uint32_t GetModuleId()
{
    static constexpr uint32_t SizeTags[5] = {0x19, 0x03, 0x05, 0x07, 0x01};
    static constexpr uint32_t BaseTags[5] = {0x19, 0xF4, 0xF6, 0xF8, 0xF2};
    for (uint32_t id = ModuleIo; id <= ModulePort2; ++id) {
        const MemoryModule& m = Modules[id];
        if (m.State == ModuleConfigured)
            continue;
        if (id == ModuleIo)
            return (m.Base | SizeTags[id]) & 0xFFFFF;
        if (m.State == ModuleUnconfigured)
            return (m.SizeMask | SizeTags[id]) & 0xFFFFF;
        return (m.Base | BaseTags[id]) & 0xFFFFF;
    }
    return 0;
}

void SetMemoryModule(uint32_t id, uint8_t* buffer, uint32_t mask)
{
    switch (id) {
    case ModuleRam:
    case ModulePort1:
    case ModulePort2:
        // Fetch and the direct pages reach a whole 4096-nibble page from the
        // buffer's page start: a buffer smaller than a page, or a mask that is
        // not a size minus one, would be read past its end. Such a lend is
        // refused and the module keeps what it had.
        if (buffer && (mask < PageSize - 1 || (mask & (mask + 1)) != 0))
            return;
        Modules[id].Buffer = buffer;
        Modules[id].BufferMask = mask;
        InstallModuleAccess(id);
        if (id == ModulePort2)
            InstallAttachedFlashModule(id);
        break;
    case ModuleRom:
        Modules[id].Buffer = buffer;
        Modules[id].BufferMask = mask;
        if (Hp49Mode)
            ResetBankPointers();
        InstallAttachedFlashModule(id);
        break;
    default:
        return;
    }
    RebuildAccessTables();
}

uint32_t TranslateAddress(uint32_t address, uint32_t* module)
{
    address &= 0xFFFFF;
    uint32_t set = Memory.Pages.Modules[address >> 12];
    uint32_t id = ModulePriority[set];
    if (id == ModuleIo && (address & 0xFFFC0) != Modules[ModuleIo].Base)
        id = ModuleUnder(set, 1u << ModuleIo);
    if (module)
        *module = id;
    if (id != ModuleRom)
        return address & Modules[id].BufferMask;
    if (!Hp49Mode)
        return address;
    uint32_t bank = (address & 0x40000) ? HighBank : LowBank;
    return (address & 0x3FFFF) + (bank << 18);
}

} // namespace korvane

using namespace korvane;

extern "C" {

void KVSetMemoryModule(uint32_t id, uint8_t* buffer, uint32_t mask)
{
    SetMemoryModule(id, buffer, mask);
}

uint32_t KVTranslateAddress(uint32_t address, uint32_t* module)
{
    return TranslateAddress(address, module);
}

void KVMemoryReset()
{
    ResetMemoryConfig();
}

void KVMemoryConfig(uint32_t value)
{
    ConfigureModule(value);
}

void KVMemoryUncnfg(uint32_t address)
{
    UnconfigureModule(address & 0xFFFFF);
}

} // extern "C"
