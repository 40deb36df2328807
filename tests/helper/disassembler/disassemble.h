// Disassembling nibbles placed in the library's ROM image, with the text and
// the next address as one value.
#pragma once

#include <cstdint>
#include <string>

#include "tessock.h"
#include "tests/helper/support/calculator.h"

namespace test {

struct Disassembled {
    std::string Text;
    uint32_t Next;
};

// Enough for every text but those with long symbol names.
inline Disassembled Disassemble(uint32_t address, uint32_t size = 128)
{
    std::string buffer(size, '\x7F');
    const uint32_t next = KHDisassemble(address, size, buffer.data());
    return {buffer.c_str(), next};
}

// value as digits hexadecimal digits, most significant first.
inline std::string Hex(uint32_t value, unsigned digits)
{
    std::string text;
    for (unsigned i = digits; i-- > 0;)
        text += "0123456789ABCDEF"[(value >> (4 * i)) & 15];
    return text;
}

// Places the nibbles (hexadecimal digits in address order) at address.
inline void PlaceNibbles(Calculator& calculator, uint32_t address, const std::string& digits)
{
    Program program(address);
    program.op(digits);
    calculator.place(program);
}

} // namespace test
