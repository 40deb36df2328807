// The disassembler over random nibbles in a ROM image, with random buffer
// sizes: nothing is written past a buffer, a smaller buffer gets a prefix
// of the text, and the next address never depends on the buffer.
//
// Linked with the helper library's images and disassembler over the
// engine's objects; the library's start is played by Prepare.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "helper/disassembler/disassembler.h"
#include "korvane.h"
#include "tessock.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

constexpr uint32_t Origin = 0x10000;
constexpr uint32_t Window = 0x100; // instructions start in Origin .. Origin + Window
constexpr uint32_t Big = 512;

uint8_t* Rom = nullptr;

// Names for the addresses around the window, of lengths 1 to 60, so that
// many targets have one.
void Prepare()
{
    KVConfigure(2, 0);
    KVMemoryReset();
    if (!KHCreateRom(0x100000))
        std::abort();
    uint32_t size = 0;
    KHGetRom(&size, &Rom);
    tessock::CreateDisassemblyContext();
    for (uint32_t address = Origin - 0x200; address < Origin + 0x300; address += 3) {
        const std::string name = "n" + std::string(address % 60, 'x');
        KHAddSymbol(address, name.c_str());
    }
}

void Check(bool holds)
{
    if (!holds)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool prepared = (Prepare(), true);
    (void)prepared;
    fuzz::Input in(data, size);
    const uint32_t address = Origin + in.byte() % Window;
    uint32_t sizes[4];
    for (uint32_t& s : sizes)
        s = in.byte() % 48;
    // The rest of the input, two nibbles a byte, from the window's start;
    // the nibbles beyond it stay as the last input left them.
    for (uint32_t i = 0; i < 2 * Window && in.remaining() > 0; i += 2) {
        const uint8_t byte = in.byte();
        Rom[Origin + i] = byte & 0x0F;
        Rom[Origin + i + 1] = byte >> 4;
    }

    char whole[Big];
    const uint32_t next = KHDisassemble(address, Big, whole);
    const size_t length = std::strlen(whole);
    // No instruction is shorter than 2 nibbles or longer than LA(16)'s 22.
    Check(next - address >= 2 && next - address <= 22);
    Check(length > 0 && length < 40 + 60);
    Check(KHDisassemble(address, 0, nullptr) == next);

    for (uint32_t s : sizes) {
        // Exactly s bytes of heap: the sanitizer sees any byte past them.
        std::unique_ptr<char[]> buffer(new char[s]);
        Check(KHDisassemble(address, s, buffer.get()) == next);
        if (s == 0)
            continue;
        const size_t kept = s - 1 < length ? s - 1 : length;
        Check(std::memcmp(buffer.get(), whole, kept) == 0 && buffer[kept] == '\0');
    }
    return 0;
}
