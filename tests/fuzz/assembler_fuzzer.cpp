// The Saturn assembler given random source text: it must report faults,
// never crash, hang or read out of bounds, and whatever it accepts must fit
// the address space.
#include <string>

#include "saturn_asm/assembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const saturn::Assembly assembly = saturn::Assemble(std::string(reinterpret_cast<const char*>(data), size));
    for (const saturn::Chunk& chunk : assembly.Chunks)
        if (chunk.Address + chunk.Nibbles.size() > 0x100000)
            __builtin_trap();
    return 0;
}
