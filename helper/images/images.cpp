#include "helper/images/images.h"

#include <bit>
#include <cstdlib>
#include <initializer_list>

#include "korvane.h"
#include "tessock.h"

namespace tessock {

ModuleImage RomImage{nullptr, 0, 0, KV_MODULE_ROM};
ModuleImage Port0Image{nullptr, 0, 0, KV_MODULE_RAM};
ModuleImage Port1Image{nullptr, 0, 0, KV_MODULE_PORT1};
ModuleImage Port2Image{nullptr, 0, 0, KV_MODULE_PORT2};

namespace {

// Swapping a module frees the buffer that a running execution thread may be
// reading: the machine stops meanwhile and runs on afterwards if it ran.
class EngineStopped {
public:
    EngineStopped() : WasRunning(KVIsRunning() != 0)
    {
        if (WasRunning)
            KVStop();
    }
    ~EngineStopped()
    {
        if (WasRunning)
            KVRun();
    }
    EngineStopped(const EngineStopped&) = delete;
    EngineStopped& operator=(const EngineStopped&) = delete;

private:
    const bool WasRunning;
};

constexpr uint32_t SmallestImage = 0x1000;
// The I/O register window reads as 7 here, whatever its registers hold.
constexpr uint8_t IoWindowNibble = 7;

bool IsImageSize(uint32_t size)
{
    return size >= SmallestImage && std::has_single_bit(size);
}

// A fresh all-zero image lent with the mask size - 1. The engine reaches a
// ROM by bank anywhere in its full span, so a smaller ROM still gets a
// buffer that covers it; the recorded size stays the one asked for.
uint32_t CreateImage(ModuleImage& image, uint32_t size)
{
    if (!IsImageSize(size))
        return 0;
    const uint32_t capacity = image.ModuleId == KV_MODULE_ROM && size < KV_ROM_NIBBLES ? KV_ROM_NIBBLES : size;
    uint8_t* buffer = AllocateImageBuffer(capacity);
    if (!buffer)
        return 0;
    InstallImage(image, buffer, size, capacity, size - 1);
    return 1;
}

void DestroyImage(ModuleImage& image)
{
    if (!image.Buffer)
        return;
    const EngineStopped stopped;
    KVSetMemoryModule(image.ModuleId, nullptr, 0);
    FreeImageBuffer(image.Buffer);
    image.Buffer = nullptr;
    image.Size = 0;
    image.Capacity = 0;
}

void GetImage(const ModuleImage& image, uint32_t* size, uint8_t** buffer)
{
    if (size)
        *size = image.Size;
    if (buffer)
        *buffer = image.Buffer;
}

} // namespace

uint8_t* AllocateImageBuffer(uint32_t capacity)
{
    return static_cast<uint8_t*>(std::calloc(size_t{capacity} + KV_BUFFER_SLACK, 1));
}

void FreeImageBuffer(uint8_t* buffer)
{
    std::free(buffer);
}

void InstallImage(ModuleImage& image, uint8_t* buffer, uint32_t size, uint32_t capacity, uint32_t mask)
{
    const EngineStopped stopped;
    DestroyImage(image);
    image.Buffer = buffer;
    image.Size = size;
    image.Capacity = capacity;
    KVSetMemoryModule(image.ModuleId, buffer, mask);
}

ModuleImage* ImageOfModule(uint32_t moduleId)
{
    switch (moduleId) {
    case KV_MODULE_RAM: return &Port0Image;
    case KV_MODULE_PORT1: return &Port1Image;
    case KV_MODULE_PORT2: return &Port2Image;
    case KV_MODULE_ROM: return &RomImage;
    default: return nullptr;
    }
}

uint8_t* LocateImageNibble(uint32_t address, uint32_t* moduleId)
{
    uint32_t module = KV_MODULE_NONE;
    const uint32_t offset = KVTranslateAddress(address & 0xFFFFF, &module);
    *moduleId = module;
    ModuleImage* image = ImageOfModule(module);
    // The engine's offset is trusted no further than the buffer reaches.
    if (!image || !image->Buffer || offset >= image->Capacity)
        return nullptr;
    return image->Buffer + offset;
}

void ReleaseImages()
{
    for (ModuleImage* image : {&RomImage, &Port0Image, &Port1Image, &Port2Image})
        DestroyImage(*image);
}

} // namespace tessock

using namespace tessock;

extern "C" {

uint32_t KHCreateRom(uint32_t size)
{
    return CreateImage(RomImage, size);
}

uint32_t KHCreatePort0(uint32_t size)
{
    return CreateImage(Port0Image, size);
}

uint32_t KHCreatePort1(uint32_t size)
{
    return CreateImage(Port1Image, size);
}

uint32_t KHCreatePort2(uint32_t size)
{
    return CreateImage(Port2Image, size);
}

void KHDestroyRom()
{
    DestroyImage(RomImage);
}

void KHDestroyPort0()
{
    DestroyImage(Port0Image);
}

void KHDestroyPort1()
{
    DestroyImage(Port1Image);
}

void KHDestroyPort2()
{
    DestroyImage(Port2Image);
}

void KHGetRom(uint32_t* size, uint8_t** buffer)
{
    GetImage(RomImage, size, buffer);
}

void KHGetPort0(uint32_t* size, uint8_t** buffer)
{
    GetImage(Port0Image, size, buffer);
}

void KHGetPort1(uint32_t* size, uint8_t** buffer)
{
    GetImage(Port1Image, size, buffer);
}

void KHGetPort2(uint32_t* size, uint8_t** buffer)
{
    GetImage(Port2Image, size, buffer);
}

uint8_t KHReadNibble(uint32_t address)
{
    uint32_t module;
    const uint8_t* nibble = LocateImageNibble(address, &module);
    if (module == KV_MODULE_IO)
        return IoWindowNibble;
    return nibble ? static_cast<uint8_t>(*nibble & 0x0F) : 0;
}

void KHWriteNibble(uint32_t address, uint32_t nibble)
{
    uint32_t module;
    // The whole byte: a breakpoint tag there goes with the old nibble.
    if (uint8_t* target = LocateImageNibble(address, &module))
        *target = static_cast<uint8_t>(nibble & 0x0F);
}

} // extern "C"
