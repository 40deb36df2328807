// KHLoadRom: a ROM image file in its raw or one of its three packed
// formats. Every failure leaves the ROM that was there, and closes the file.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "helper/images/images.h"
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

class ReadOnlyFile {
public:
    // Without waiting: opening a named pipe would otherwise wait for a
    // writer. Reads of a regular file are not affected.
    explicit ReadOnlyFile(const char* path) : Descriptor(open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~ReadOnlyFile()
    {
        if (Descriptor >= 0)
            close(Descriptor);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool IsOpen() const { return Descriptor >= 0; }

    // The size of a regular file; false for anything else (a directory,
    // a device or a pipe has no size to go by).
    bool Size(uint64_t& size) const
    {
        struct stat status;
        if (fstat(Descriptor, &status) != 0 || !S_ISREG(status.st_mode))
            return false;
        size = static_cast<uint64_t>(status.st_size);
        return true;
    }

    // Exactly count bytes from offset; false on a short read.
    bool ReadAt(uint8_t* into, uint64_t count, uint64_t offset) const
    {
        while (count) {
            const ssize_t got = pread(Descriptor, into, count, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            into += got;
            offset += static_cast<uint64_t>(got);
            count -= static_cast<uint64_t>(got);
        }
        return true;
    }

private:
    int Descriptor;
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

uint32_t LoadRaw(const ReadOnlyFile& file, uint32_t size)
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

uint32_t LoadPacked(const ReadOnlyFile& file, uint64_t fileSize)
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

} // namespace

} // namespace tessock

using namespace tessock;

extern "C" uint32_t KHLoadRom(const char* path)
{
    if (!path)
        return 0;
    const ReadOnlyFile file(path);
    uint64_t size;
    if (!file.IsOpen() || !file.Size(size) || size >= LargestFile)
        return 0;
    if (size == RawSmall || size == RawLarge)
        return LoadRaw(file, static_cast<uint32_t>(size));
    return LoadPacked(file, size);
}
