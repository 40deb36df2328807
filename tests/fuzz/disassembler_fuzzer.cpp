// The disassembler over random nibbles in a ROM image, with random buffer
// sizes: nothing is written past a buffer, a smaller buffer gets a prefix of
// the text, and the next address never depends on the buffer.
#include <cstring>
#include <memory>
#include <string>

#include "helper/disassembler/disassembler.h"
#include "tessock.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr uint32_t Origin = 0x10000, Window = 0x100; // instructions start in the window
    static uint8_t* const rom = [] {
        KVConfigure(2, 0);
        KVMemoryReset();
        fuzz::Check(KHCreateRom(0x100000) == 1);
        uint32_t romSize = 0;
        uint8_t* image = nullptr;
        KHGetRom(&romSize, &image);
        // Names of lengths 1 to 60 around the window, so that many targets have one.
        tessock::CreateDisassemblyContext();
        for (uint32_t address = Origin - 0x200; address < Origin + 0x300; address += 3)
            KHAddSymbol(address, ("n" + std::string(address % 60, 'x')).c_str());
        return image;
    }();
    fuzz::Input in{data, size};
    const uint32_t address = Origin + in.byte() % Window;
    uint32_t sizes[4];
    for (uint32_t& s : sizes)
        s = in.byte() % 48;
    // Two nibbles a byte from the window's start; those beyond the input stay
    // as the last input left them.
    for (uint32_t i = 0; i < 2 * Window && in.Size > 0; i += 2) {
        const uint8_t byte = in.byte();
        rom[Origin + i] = byte & 0x0F;
        rom[Origin + i + 1] = byte >> 4;
    }
    char whole[512];
    const uint32_t next = KHDisassemble(address, sizeof whole, whole);
    const size_t length = std::strlen(whole);
    // No instruction is shorter than 2 nibbles or longer than LA(16)'s 22.
    fuzz::Check(next - address >= 2 && next - address <= 22 && length > 0 && length < 40 + 60);
    fuzz::Check(KHDisassemble(address, 0, nullptr) == next);
    for (uint32_t s : sizes) {
        // Exactly s bytes of heap: the sanitizer sees any byte past them.
        std::unique_ptr<char[]> buffer(new char[s]);
        const size_t kept = std::min<size_t>(s - 1, length);
        fuzz::Check(KHDisassemble(address, s, buffer.get()) == next &&
                    (s == 0 || (std::memcmp(buffer.get(), whole, kept) == 0 && buffer[kept] == '\0')));
    }
    return 0;
}
