// Reads fuzzer input as a stream of values; past the end every value is 0.
// And what the targets that run machines share: memory filled from it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "korvane.h"

namespace fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : Data(data), Size(size) {}

    uint8_t byte() { return Position < Size ? Data[Position++] : 0; }

    uint32_t u32()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= uint32_t{byte()} << (8 * i);
        return value;
    }

    size_t remaining() const { return Position < Size ? Size - Position : 0; }
    const uint8_t* rest() const { return Data + Position; }
    void skip(size_t count) { Position = count < remaining() ? Position + count : Size; }

private:
    const uint8_t* Data;
    size_t Size;
    size_t Position = 0;
};

// Fills a region of the buffer from the input, breakpoint tags included: a
// start within mask, then a count of sixteens of nibbles.
inline void Scatter(Input& in, std::vector<uint8_t>& buffer, uint32_t mask)
{
    const uint32_t start = in.u32() & mask;
    const size_t count = in.byte() * 16u;
    for (size_t i = 0; i < count && start + i <= mask; ++i)
        buffer[start + i] = in.byte() & 0x1F;
}

// The rest of the input as the program at PC, breakpoint tags included: in
// the RAM where RAM answers there, in the ROM image otherwise. It is cleared
// again when this ends, so that every input starts from blank memory.
class ProgramAtPc {
public:
    ProgramAtPc(Input& in, std::vector<uint8_t>& rom, std::vector<uint8_t>& ram, uint32_t ramMask)
    {
        uint32_t module = 0;
        Offset = KVTranslateAddress(KVGetRegister(KV_REG_PC), &module);
        Target = module == KV_MODULE_RAM ? &ram : &rom;
        const size_t limit = module == KV_MODULE_RAM ? ramMask + size_t{1} : KV_ROM_NIBBLES;
        for (Length = 0; Length < in.remaining() && Offset + Length < limit; ++Length)
            (*Target)[Offset + Length] = in.rest()[Length] & 0x1F;
    }
    ~ProgramAtPc()
    {
        for (size_t i = 0; i < Length; ++i)
            (*Target)[Offset + i] = 0;
    }
    ProgramAtPc(const ProgramAtPc&) = delete;
    ProgramAtPc& operator=(const ProgramAtPc&) = delete;

private:
    std::vector<uint8_t>* Target;
    uint32_t Offset;
    size_t Length;
};

} // namespace fuzz
