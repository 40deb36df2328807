// Names for calculator addresses: registered by a front end, read back, and
// shown by the disassembler in place of a target's address.
#include <cstring>
#include <exception>

#include "helper/disassembler/disassembler.h"
#include "tessock.h"

namespace tessock {

void DisassemblyContext::AddSymbol(uint32_t address, const char* name)
{
    // The key in 32 bits, as a table relative to a module is loaded at the
    // module's base.
    const uint32_t key = address + SymbolBase;
    try {
        // The name already there stays; the new one is not even copied.
        Symbols.try_emplace(key, name);
    } catch (const std::exception&) {
        // Out of memory: the name is not registered and the list is as it was.
    }
}

const char* DisassemblyContext::FindSymbol(uint32_t address) const
{
    const auto found = Symbols.find(address);
    return found != Symbols.end() ? found->second.c_str() : nullptr;
}

} // namespace tessock

using namespace tessock;

extern "C" {

void KHAddSymbol(uint32_t address, const char* name)
{
    if (Disassembly && name)
        Disassembly->AddSymbol(address, name);
}

// The bytes written, the NUL included; a name that does not fit is cut.
// Size 0 (or no buffer) takes nothing and still counts the NUL, as callers
// of this interface expect.
uint32_t KHGetSymbol(uint32_t address, uint32_t size, char* buffer)
{
    if (size == 0 || !buffer)
        return 1;
    const char* name = Disassembly ? Disassembly->FindSymbol(address) : nullptr;
    if (!name) {
        buffer[0] = '\0';
        return 1;
    }
    const size_t length = std::strlen(name);
    const uint32_t count = length + 1 < size ? static_cast<uint32_t>(length + 1) : size;
    std::memcpy(buffer, name, count - 1);
    buffer[count - 1] = '\0';
    return count;
}

void KHSetSymbolBase(uint32_t base)
{
    if (Disassembly)
        Disassembly->SetSymbolBase(base);
}

} // extern "C"
