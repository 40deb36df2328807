// The Saturn assembler given random source text: it must report faults,
// never crash, hang or read out of bounds, and whatever it accepts must fit
// the address space.
#include "saturn_asm/assembler.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const saturn::Assembly assembly = saturn::Assemble(std::string(reinterpret_cast<const char*>(data), size));
    for (const saturn::Chunk& chunk : assembly.Chunks)
        fuzz::Check(chunk.Address + chunk.Nibbles.size() <= 0x100000);
    return 0;
}
