// The calculator's four memory images, owned by the library and lent to the
// engine: the ROM and ports 0 to 2. No lock guards them: callers stop the
// engine before they replace or destroy one.
#pragma once

#include <cstdint>

namespace tessock {

struct ModuleImage {
    uint8_t* Buffer;   // one nibble per byte; bit 4 is a breakpoint tag
    uint32_t Size;     // nibbles as recorded: 0 while there is no buffer
    uint32_t Capacity; // nibbles the engine may reach: Size, or more for a ROM
    uint32_t ModuleId; // the engine's module the image is lent as
};

extern ModuleImage RomImage;
extern ModuleImage Port0Image;
extern ModuleImage Port1Image;
extern ModuleImage Port2Image;

// The image behind an engine module id, or null for a module without one.
ModuleImage* ImageOfModule(uint32_t moduleId);

// The byte of the image that answers at a calculator address (its low 20
// bits) through the engine's present memory map, or null when no image byte
// answers there; *moduleId receives the module.
uint8_t* LocateImageNibble(uint32_t address, uint32_t* moduleId);

// Detaches and frees every image (library unload).
void ReleaseImages();

} // namespace tessock

namespace tessock {

// A zeroed buffer of capacity nibbles with the slack the engine may read
// past the end, or null when memory is short.
uint8_t* AllocateImageBuffer(uint32_t capacity);
void FreeImageBuffer(uint8_t* buffer);
// Replaces the image: the old one is detached and freed, the new one
// recorded and lent with the mask.
void InstallImage(ModuleImage& image, uint8_t* buffer, uint32_t size, uint32_t capacity, uint32_t mask);

// The bytes of a ROM image file, wherever they are held: KHLoadRom reads
// them from the file, the fuzz target from memory.
class RomFileBytes {
public:
    // Exactly count bytes from offset; false on a short read.
    virtual bool ReadAt(void* into, uint64_t count, uint64_t offset) const = 0;

protected:
    ~RomFileBytes() = default;
};

// Loads the ROM from a file of size bytes in its raw or a packed format;
// 0, and the ROM that was there kept, when the file is none of them.
uint32_t LoadRomFile(const RomFileBytes& bytes, uint64_t size);

} // namespace tessock
