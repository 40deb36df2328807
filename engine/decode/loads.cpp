// The 256 nibble loaders behind LC and LA in hexadecimal mode. Each (P, N)
// is its own straight-line routine: where nibble P + i lands, in which word
// and at which shift, is settled when the library is built, so crossing from
// nibble 7 to 8 and wrapping from 15 to 0 cost no test at run time.
#include "engine/decode/loads.h"

#include <cstddef>
#include <utility>

namespace korvane {

namespace {

constexpr unsigned NibbleShift(unsigned p, std::size_t i)
{
    return 4 * ((p + static_cast<unsigned>(i)) & 15);
}

template <unsigned P, std::size_t... I>
void LoadNibblesAt(NibbleRegister* packed, const uint8_t* nibbles, std::index_sequence<I...>)
{
    constexpr uint64_t mask = ((uint64_t{0xF} << NibbleShift(P, I)) | ...);
    // A breakpoint tag may sit on an operand byte: only its low four bits count.
    const uint64_t value = ((uint64_t{nibbles[I] & 0xFu} << NibbleShift(P, I)) | ...);
    constexpr uint32_t lowMask = static_cast<uint32_t>(mask);
    constexpr uint32_t highMask = static_cast<uint32_t>(mask >> 32);
    if constexpr (lowMask != 0)
        packed->PackedLow = (packed->PackedLow & ~lowMask) | static_cast<uint32_t>(value);
    if constexpr (highMask != 0)
        packed->PackedHigh = (packed->PackedHigh & ~highMask) | static_cast<uint32_t>(value >> 32);
}

template <unsigned P, unsigned N>
void LoadNibbles(NibbleRegister* packed, const uint8_t* nibbles)
{
    LoadNibblesAt<P>(packed, nibbles, std::make_index_sequence<N>{});
}

template <std::size_t... E>
constexpr std::array<LoadNibblesProc, 256> BuildLoadNibblesTable(std::index_sequence<E...>)
{
    return {&LoadNibbles<(E >> 4), (E & 15) + 1>...};
}

} // namespace

constinit const std::array<LoadNibblesProc, 256> LoadNibblesTable =
    BuildLoadNibblesTable(std::make_index_sequence<256>{});

} // namespace korvane
