// The ROM reader with random file contents and sizes: raw sizes, the three
// signatures with payloads up to and past the image's end, and files cut
// short. A loaded ROM must hold exactly what the file says; a refused one
// must leave the ROM that was there.
#include <cstring>

#include "helper/images/images.h"
#include "tessock.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

const struct Format {
    char Signature[9];
    uint64_t Skipped;
    bool HighNibbleFirst;
} Formats[] = {{"Saturn\0\3", 256, true}, {"HPHP48-W", 13, false}, {"HPHP48-X", 8, false}};
constexpr uint64_t FullImage = KV_ROM_NIBBLES, LargestPayload = FullImage / 2;

// The file, held in memory: Head at its start, zeros after it.
struct File final : tessock::RomFileBytes {
    std::vector<uint8_t> Head;
    uint64_t Size;

    bool ReadAt(void* into, uint64_t count, uint64_t offset) const override
    {
        if (offset > Size || count > Size - offset)
            return false;
        const uint64_t copied = offset < Head.size() ? std::min(count, Head.size() - offset) : 0;
        if (copied)
            std::memcpy(into, Head.data() + offset, copied);
        std::memset(static_cast<uint8_t*>(into) + copied, 0, count - copied);
        return true;
    }

    bool raw() const { return Size == 0x100000 || Size == FullImage; }
    const Format* format() const
    {
        for (const Format& f : Formats)
            if (Size >= 8 && Head.size() >= 8 && std::memcmp(f.Signature, Head.data(), 8) == 0)
                return &f;
        return nullptr;
    }
    bool loadable() const { return raw() || (format() && Size >= format()->Skipped && Size - format()->Skipped <= LargestPayload); }
    // What the image must hold at offset once the file loaded.
    uint8_t expected(uint64_t offset) const
    {
        const auto at = [&](uint64_t i) { return i < Head.size() ? Head[i] : 0; };
        if (raw())
            return offset < Size ? at(offset) : 0;
        if (offset >= 2 * (Size - format()->Skipped))
            return 0;
        const uint8_t byte = at(format()->Skipped + offset / 2);
        return (offset % 2 == 0) == format()->HighNibbleFirst ? byte >> 4 : byte & 0xF;
    }
};

File MakeFile(fuzz::Input& in)
{
    const uint8_t shape = in.byte() % 5;
    const Format& format = Formats[in.byte() % 3];
    File file;
    if (shape >= 1 && shape <= 3)
        file.Head.assign(format.Signature, format.Signature + 8);
    const std::vector<uint8_t> rest = in.rest();
    file.Head.insert(file.Head.end(), rest.begin(), rest.end());
    const uint64_t sizes[] = {
        file.Head.size(),                                      // anything
        file.Head.size(),                                      // a signature and what follows
        format.Skipped + LargestPayload - 2 + rest.size() % 5, // a payload near the image's end, either side
        8 + rest.size() % format.Skipped,                      // cut inside the header
        rest.size() % 2 ? 0x100000 : FullImage,                // a raw size, whatever it begins with
    };
    file.Size = sizes[shape];
    file.Head.resize(std::min<uint64_t>(file.Head.size(), file.Size));
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Input in{data, size};
    const bool banked = in.byte() & 1;
    const uint32_t banks = in.byte();
    const File file = MakeFile(in);
    uint32_t sizeBefore = 0, romSize = 0;
    uint8_t *before = nullptr, *rom = nullptr;
    KHGetRom(&sizeBefore, &before);
    const uint8_t marker = before ? before[0x1234] : 0;
    // The reader from memory: the file's path is KHLoadRom's only part of it.
    const uint32_t loaded = tessock::LoadRomFile(file, file.Size);
    KHGetRom(&romSize, &rom);
    fuzz::Check(loaded == (file.loadable() ? 1u : 0u));
    if (loaded) {
        fuzz::Check(rom && (romSize == 0x100000 || romSize == FullImage) && rom[FullImage + KV_BUFFER_SLACK - 1] == 0);
        for (uint64_t offset : {uint64_t{0}, uint64_t{1}, uint64_t{0x1235}, 2 * (file.Size / 3), FullImage - 1})
            fuzz::Check(rom[offset] == file.expected(offset));
    } else {
        fuzz::Check(rom == before && romSize == sizeBefore && (!rom || rom[0x1234] == marker));
    }
    // Nibble reads through the engine's map, flat or banked, stay inside.
    KVConfigure(2, banked);
    KVSetRegister(KV_REG_LOW_BANK, banks & 3);
    KVSetRegister(KV_REG_HIGH_BANK, banks >> 4);
    for (uint32_t address : {0x00000u, 0x3FFFFu, 0x40000u, 0x7FFFFu, 0xFFFFFu, banks * 0x1111u})
        fuzz::Check(KHReadNibble(address) <= 0xF);
    return 0;
}
