// A named entry in port 1, written straight into the port's image:
//   0x2B62, the length from the next field to the entry's end, the name's
//   length L, the name (two nibbles a character, low first), L again, the
//   object, 0x2911, the object's CRC.
// A 5-nibble 0 where an entry would begin marks the free place.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

#include "helper/images/images.h"
#include "helper/objects/objects.h"
#include "korvane.h"
#include "tessock.h"

namespace tessock {

namespace {

constexpr uint32_t EntryPrologue = 0x2B62;
constexpr uint32_t EntryTrailer = 0x2911;
constexpr uint32_t LongestName = 255;
// The measurement maps port 1 at 0x80000 to 0xFFFFF, so that image offset
// x answers at 0x80000 + x. A larger port would be measured elsewhere.
constexpr uint32_t Port1Base = 0x80000;
constexpr uint32_t Port1Window = 0x100000 - Port1Base;
// I/O registers at 0x00100; RAM and the bank switcher at 0x70000,
// 0x10000 nibbles each; port 1 over Port1Window; port 2 left out.
constexpr uint32_t MeasuringMap[] = {0x00100, 0xF0000, 0x70000, 0xF0000, 0x70000, Port1Base, Port1Base};

constexpr std::array<uint16_t, 16> NibbleCrcTable = [] {
    std::array<uint16_t, 16> table{};
    for (uint16_t k = 0; k < 16; ++k)
        table[k] = static_cast<uint16_t>(k * 0x1081);
    return table;
}();

uint64_t ReadField(const uint8_t* port, uint64_t at)
{
    uint64_t value = 0;
    for (uint32_t i = 0; i < 5; ++i)
        value |= uint64_t{port[at + i] & 0x0Fu} << (4 * i);
    return value;
}

// Writes count nibbles of value, low first, and returns the offset after them.
uint64_t WriteField(uint8_t* port, uint64_t at, uint64_t value, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        port[at + i] = static_cast<uint8_t>((value >> (4 * i)) & 0x0F);
    return at + count;
}

uint64_t MeasureInPort1(uint64_t offset)
{
    SavedMachine saved;
    KVMemoryReset();
    for (uint32_t value : MeasuringMap)
        KVMemoryConfig(value);
    return RunMeasuringRoutine(static_cast<uint32_t>(Port1Base + offset));
}

} // namespace

uint32_t NibbleCrc(const uint8_t* nibbles, uint32_t count)
{
    uint32_t crc = 0;
    for (uint32_t i = 0; i < count; ++i)
        crc = (crc >> 4) ^ NibbleCrcTable[(crc ^ nibbles[i]) & 15];
    return crc;
}

} // namespace tessock

using namespace tessock;

extern "C" {

uint32_t KHLoadInPort1(const char* name, const uint8_t* nibbles, uint32_t count)
{
    if (!name || !nibbles || count == 0)
        return 0;
    uint8_t* const port = Port1Image.Buffer;
    const uint64_t size = Port1Image.Size;
    if (!port || size > Port1Window)
        return 0;
    // The image is written below without a lock.
    KVStop();

    const uint32_t length = static_cast<uint32_t>(strnlen(name, LongestName));
    const uint64_t head = 2 * length + 14;
    // The entry as long as the array; 64-bit, as count + head wraps in 32.
    const uint64_t room = count + head + 10;
    if (room >= size)
        return 0;
    uint64_t at = 0;
    while (ReadField(port, at) != 0) {
        at += 5 + ReadField(port, at + 5);
        if (room + at >= size)
            return 0; // no room after the last entry
    }

    // What lay where the entry goes: a refused entry leaves no half-written
    // head, and nibbles of the array past the object's end go back, so the
    // free place stays marked after a shorter object.
    const std::vector<uint8_t> saved(port + at, port + at + room);
    uint64_t next = WriteField(port, at, EntryPrologue, 5);
    next = WriteField(port, next, count + head + 5, 5); // provisional: the object as long as the array
    next = WriteField(port, next, length, 2);
    for (uint32_t i = 0; i < length; ++i)
        next = WriteField(port, next, static_cast<unsigned char>(name[i]), 2);
    next = WriteField(port, next, length, 2);
    for (uint32_t i = 0; i < count; ++i)
        port[next + i] = nibbles[i] & 0x0F;

    const uint64_t d = MeasureInPort1(at + head);
    if (d > count) {
        std::copy(saved.begin(), saved.end(), port + at);
        return 0;
    }
    WriteField(port, at + 5, d + head + 5, 5);
    next = WriteField(port, at + head + d, EntryTrailer, 5);
    next = WriteField(port, next, NibbleCrc(nibbles, static_cast<uint32_t>(d)), 5);
    std::copy(saved.begin() + static_cast<std::ptrdiff_t>(next - at), saved.end(), port + next);
    return 1;
}

} // extern "C"
