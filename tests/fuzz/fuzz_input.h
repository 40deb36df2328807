// What the fuzz targets share: the input read as a stream of values (0 past
// its end), a check that stops the fuzzer, a file in memory, and memory
// filled from the input.
#pragma once

#include <algorithm>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "korvane.h"

namespace fuzz {

struct Input {
    const uint8_t* Data;
    size_t Size;

    uint8_t byte() { return Size > 0 ? (--Size, *Data++) : 0; }
    uint32_t u32()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= uint32_t{byte()} << (8 * i);
        return value;
    }
    std::vector<uint8_t> rest() { return std::vector<uint8_t>(Data, Data + std::exchange(Size, 0)); }
};

// Stops the fuzzer, as a crash would, when a promise does not hold.
inline void Check(bool holds) { if (!holds) __builtin_trap(); }

// The path of a file in memory that holds bytes, then zeros up to size.
inline const std::string& MemoryFile(const std::vector<uint8_t>& bytes, uint64_t size)
{
    static const int descriptor = memfd_create("fuzz", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
    Check(ftruncate(descriptor, 0) == 0 && ftruncate(descriptor, static_cast<off_t>(size)) == 0 &&
          pwrite(descriptor, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
    return path;
}

// RAM cleared and a few regions of it written, then the rest of the input as
// the program at PC (in RAM where RAM answers there, else in the ROM image),
// breakpoint tags included. The next call clears what this one wrote into
// the ROM, so that every input starts from blank memory.
inline void FillMemory(Input& in, std::vector<uint8_t>& rom, std::vector<uint8_t>& ram, uint32_t ramMask)
{
    static size_t romStart = 0, romLength = 0;
    std::fill_n(rom.begin() + static_cast<long>(romStart), std::exchange(romLength, 0), 0);
    std::fill(ram.begin(), ram.end(), 0);
    for (int region = in.byte() % 4; region >= 0; --region) {
        const uint32_t start = in.u32() & ramMask;
        for (uint32_t i = 0, count = in.byte() * 16u; i < count && start + i <= ramMask; ++i)
            ram[start + i] = in.byte() & 0x1F;
    }
    uint32_t module = 0;
    const size_t start = KVTranslateAddress(KVGetRegister(KV_REG_PC), &module);
    const size_t end = std::min(start + in.Size, module == KV_MODULE_RAM ? ramMask + size_t{1} : KV_ROM_NIBBLES);
    for (size_t at = start; at < end; ++at)
        (module == KV_MODULE_RAM ? ram : rom)[at] = in.byte() & 0x1F;
    if (module != KV_MODULE_RAM && end > start)
        romStart = start, romLength = end - start;
}

} // namespace fuzz
