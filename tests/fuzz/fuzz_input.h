// Reads fuzzer input as a stream of values; past the end every value is 0.
#pragma once

#include <cstddef>
#include <cstdint>

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

} // namespace fuzz
