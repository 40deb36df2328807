// KHLoadRom: a ROM image file in its raw or one of its three packed
// formats. Every failure leaves the ROM that was there, and closes the file.
#include <cstring>

#include "helper/images/images.h"
#include "platform/file.h"
#include "korvane.h"
#include "tessock.h"

namespace tessock {

namespace {

constexpr uint64_t RawSmall = 0x100000;
constexpr uint64_t RawLarge = 0x400000;
constexpr uint64_t LargestFile = uint64_t{1} << 32;
// Two nibbles a byte: the largest payload that fills the image.
constexpr uint64_t LargestPayload = KV_ROM_NIBBLES / 2;
// A ROM read from a file is lent as one bank's mask whatever its size.
constexpr uint32_t FileRomMask = 0x3FFFF;

struct PackedFormat {
    char Signature[8];
    uint32_t Skipped;      // bytes before the payload
    bool HighNibbleFirst;
};

constexpr PackedFormat PackedFormats[] = {
    {{'S', 'a', 't', 'u', 'r', 'n', '\0', '\3'}, 256, true},
    {{'H', 'P', 'H', 'P', '4', '8', '-', 'W'}, 13, false},
    {{'H', 'P', 'H', 'P', '4', '8', '-', 'X'}, 8, false},
};

const PackedFormat* FindPackedFormat(const uint8_t* head)
{
    for (const PackedFormat& format : PackedFormats) {
        if (std::memcmp(head, format.Signature, sizeof format.Signature) == 0)
            return &format;
    }
    return nullptr;
}

// The payload's n bytes lie at offset n of the image: byte i is read before
// nibbles 2i and 2i + 1 are written, and those never pass offset n + i, so
// the unpacking needs no second buffer.
void UnpackInPlace(uint8_t* image, uint32_t payload, bool highNibbleFirst)
{
    const uint8_t* packed = image + payload;
    for (uint32_t i = 0; i < payload; ++i) {
        const uint8_t byte = packed[i];
        const uint8_t low = byte & 0x0F;
        const uint8_t high = byte >> 4;
        image[2 * i] = highNibbleFirst ? high : low;
        image[2 * i + 1] = highNibbleFirst ? low : high;
    }
}

uint32_t LoadRaw(const RomFileBytes& file, uint32_t size)
{
    uint8_t* image = AllocateImageBuffer(KV_ROM_NIBBLES);
    if (!image)
        return 0;
    if (!file.ReadAt(image, size, 0)) {
        FreeImageBuffer(image);
        return 0;
    }
    InstallImage(RomImage, image, size, KV_ROM_NIBBLES, FileRomMask);
    return 1;
}

uint32_t LoadPacked(const RomFileBytes& file, uint64_t fileSize)
{
    uint8_t head[8];
    if (!file.ReadAt(head, sizeof head, 0))
        return 0;
    const PackedFormat* format = FindPackedFormat(head);
    if (!format || fileSize < format->Skipped)
        return 0;
    const uint64_t payload = fileSize - format->Skipped;
    if (payload > LargestPayload)
        return 0;
    uint8_t* image = AllocateImageBuffer(KV_ROM_NIBBLES);
    if (!image)
        return 0;
    if (!file.ReadAt(image + payload, payload, format->Skipped)) {
        FreeImageBuffer(image);
        return 0;
    }
    UnpackInPlace(image, static_cast<uint32_t>(payload), format->HighNibbleFirst);
    InstallImage(RomImage, image, KV_ROM_NIBBLES, KV_ROM_NIBBLES, FileRomMask);
    return 1;
}

struct FileBytes final : RomFileBytes {
    explicit FileBytes(const char* path) : File(path) {}
    bool ReadAt(void* into, uint64_t count, uint64_t offset) const override
    {
        return File.ReadAt(into, count, offset);
    }
    const platform::ReadOnlyFile File;
};

} // namespace

uint32_t LoadRomFile(const RomFileBytes& bytes, uint64_t size)
{
    if (size >= LargestFile)
        return 0;
    if (size == RawSmall || size == RawLarge)
        return LoadRaw(bytes, static_cast<uint32_t>(size));
    return LoadPacked(bytes, size);
}

} // namespace tessock

using namespace tessock;

extern "C" uint32_t KHLoadRom(const char* path)
{
    if (!path)
        return 0;
    const FileBytes file(path);
    uint64_t size;
    if (!file.File.IsOpen() || !file.File.Size(size))
        return 0;
    return LoadRomFile(file, size);
}
