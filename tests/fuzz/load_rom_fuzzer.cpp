// KHLoadRom with random file contents and sizes: raw sizes, the three
// signatures with payloads up to and past the image's end, and files cut
// short. A loaded ROM must hold exactly what the file says; a refused one
// must leave the ROM that was there.
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "korvane.h"
#include "tessock.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

struct Format {
    char Signature[8];
    uint32_t Skipped;
    bool HighNibbleFirst;
};

const Format Formats[] = {
    {{'S', 'a', 't', 'u', 'r', 'n', '\0', '\3'}, 256, true},
    {{'H', 'P', 'H', 'P', '4', '8', '-', 'W'}, 13, false},
    {{'H', 'P', 'H', 'P', '4', '8', '-', 'X'}, 8, false},
};

constexpr uint64_t FullImage = KV_ROM_NIBBLES;
constexpr uint64_t LargestPayload = FullImage / 2;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// The file's bytes as written: head at the start, the rest zero (sparse).
struct File {
    std::vector<uint8_t> Head;
    uint64_t Size;

    uint8_t at(uint64_t offset) const { return offset < Head.size() ? Head[offset] : 0; }
};

File MakeFile(fuzz::Input& in)
{
    File file;
    const uint8_t shape = in.byte() % 5;
    const Format& format = Formats[in.byte() % 3];
    if (shape >= 1 && shape <= 3)
        file.Head.assign(format.Signature, format.Signature + 8);
    const std::vector<uint8_t> rest(in.rest(), in.rest() + in.remaining());
    file.Head.insert(file.Head.end(), rest.begin(), rest.end());
    switch (shape) {
    case 0: // anything
    case 1: // a signature and what follows
        file.Size = file.Head.size();
        break;
    case 2: // a payload near the image's end, one side or the other
        file.Size = format.Skipped + LargestPayload - 2 + rest.size() % 5;
        break;
    case 3: // cut inside the header
        file.Size = 8 + rest.size() % format.Skipped;
        break;
    default: // a raw size, whatever it begins with
        file.Size = rest.size() % 2 ? 0x100000 : FullImage;
        break;
    }
    if (file.Head.size() > file.Size)
        file.Head.resize(file.Size);
    return file;
}

// What the image must hold at offset for a file that loaded.
uint8_t Expected(const File& file, uint64_t offset)
{
    if (file.Size == 0x100000 || file.Size == FullImage)
        return offset < file.Size ? file.at(offset) : 0;
    for (const Format& format : Formats) {
        if (file.Size >= 8 && std::equal(format.Signature, format.Signature + 8, file.Head.begin())) {
            const uint64_t payload = file.Size - format.Skipped;
            if (offset >= 2 * payload)
                return 0;
            const uint8_t byte = file.at(format.Skipped + offset / 2);
            const bool high = (offset % 2 == 0) == format.HighNibbleFirst;
            return high ? byte >> 4 : byte & 0xF;
        }
    }
    return 0xFF;
}

bool Loadable(const File& file)
{
    if (file.Size == 0x100000 || file.Size == FullImage)
        return true;
    if (file.Size < 8 || file.Head.size() < 8)
        return false;
    for (const Format& format : Formats) {
        if (std::equal(format.Signature, format.Signature + 8, file.Head.begin()))
            return file.Size >= format.Skipped && file.Size - format.Skipped <= LargestPayload;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const int descriptor = memfd_create("rom", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
    fuzz::Input in(data, size);
    const bool banked = in.byte() & 1;
    const uint32_t banks = in.byte();
    const File file = MakeFile(in);
    Check(ftruncate(descriptor, 0) == 0);
    Check(file.Head.empty() || pwrite(descriptor, file.Head.data(), file.Head.size(), 0) ==
                                   static_cast<ssize_t>(file.Head.size()));
    Check(ftruncate(descriptor, static_cast<off_t>(file.Size)) == 0);

    uint32_t sizeBefore = 0;
    uint8_t* before = nullptr;
    KHGetRom(&sizeBefore, &before);
    const uint8_t marker = before ? before[0x1234] : 0;

    const uint32_t loaded = KHLoadRom(path.c_str());
    uint32_t romSize = 0;
    uint8_t* rom = nullptr;
    KHGetRom(&romSize, &rom);
    Check(loaded == (Loadable(file) ? 1u : 0u));
    if (loaded) {
        Check(rom != nullptr && (romSize == 0x100000 || romSize == FullImage));
        for (uint64_t offset : {uint64_t{0}, uint64_t{1}, uint64_t{0x1235}, 2 * (file.Size / 3), FullImage - 1})
            Check(rom[offset] == Expected(file, offset));
        Check(rom[FullImage + KV_BUFFER_SLACK - 1] == 0);
    } else {
        Check(rom == before && romSize == sizeBefore && (!rom || rom[0x1234] == marker));
    }

    // Nibble reads through the engine's map, flat or banked, stay inside.
    KVConfigure(2, banked);
    KVSetRegister(KV_REG_LOW_BANK, banks & 3);
    KVSetRegister(KV_REG_HIGH_BANK, banks >> 4);
    for (uint32_t address : {0x00000u, 0x3FFFFu, 0x40000u, 0x7FFFFu, 0xFFFFFu, banks * 0x1111u})
        Check(KHReadNibble(address) <= 0xF);
    return 0;
}
