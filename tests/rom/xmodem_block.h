// An XModem block in checksum mode, apart from the helper library's sender:
// number, 255 - number, data[at, at + 128) with 0x1A past the end, the sum.
#pragma once

#include <cstdint>
#include <numeric>
#include <vector>

namespace test {

inline std::vector<uint8_t> XModemBlock(const std::vector<uint8_t>& data, size_t at, uint8_t number)
{
    std::vector<uint8_t> block = {0x01, number, static_cast<uint8_t>(255 - number)};
    for (size_t i = at; i < at + 128; ++i)
        block.push_back(i < data.size() ? data[i] : 0x1A);
    block.push_back(static_cast<uint8_t>(std::accumulate(block.begin() + 3, block.end(), 0u)));
    return block;
}

} // namespace test
