// A small Kermit receiver of the tests' own, independent of the sender: it
// splits and checks packets bit by bit, decodes data and writes answers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace test::kermit {

using Bytes = std::vector<uint8_t>;

inline uint8_t ToChar(uint32_t value) { return static_cast<uint8_t>(value + 32); }

inline Bytes Check1(const Bytes& checked)
{
    uint32_t sum = 0;
    for (uint8_t c : checked)
        sum = (sum + c) & 0xFF;
    return {ToChar((sum + (sum >> 6)) & 63)};
}

// CRC-16/KERMIT one bit at a time (reflected 0x1021, initial 0), low bit first, over units of that many bits.
inline uint16_t Crc(const Bytes& units, int bits)
{
    uint16_t crc = 0;
    for (uint8_t unit : units)
        for (int bit = 0; bit < bits; ++bit)
            crc = static_cast<uint16_t>(((crc ^ (unit >> bit)) & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1);
    return crc;
}

inline Bytes Check3(const Bytes& checked)
{
    const uint16_t crc = Crc(checked, 8);
    return {ToChar((crc >> 12) & 15), ToChar((crc >> 6) & 63), ToChar(crc & 63)};
}

struct Packet {
    uint8_t Type = 0;
    uint32_t Sequence = 0, Len = 0; // Len: the value LEN announces
    Bytes Field;                    // the data field
    bool Sound = false;             // SOH, length, check and CR all as they should be
};

// Packets from SOH to CR; the Send-Init carries the one-character check, the rest the three-character one.
inline std::vector<Packet> SplitPackets(const Bytes& stream)
{
    std::vector<Packet> packets;
    for (auto at = stream.begin(), end = at; at != stream.end(); at = end + (end != stream.end())) {
        end = std::find(at, stream.end(), 0x0D);
        Packet& p = packets.emplace_back();
        const long length = end - at, check = length > 3 && at[3] == 'S' ? 1 : 3;
        if (end == stream.end() || length < 5 || at[0] != 0x01 || at[1] - 32 != length - 2 || length < 4 + check)
            continue;
        p = {at[3], at[2] - 32u, at[1] - 32u, Bytes(at + 4, end - check), false};
        p.Sound = Bytes(end - check, end) == (check == 1 ? Check1(Bytes(at + 1, end - check)) : Check3(Bytes(at + 1, end - check)));
    }
    return packets;
}

// Undoes the data encoding. With the 8th-bit prefix in use "Y" sets the 8th bit of the byte it leads, and "#Y"
// is a literal "Y"; without it "Y" is plain data and "#Y" the control character 0x19. "#" leads a control
// character (XOR 0x40) or a literal "#". Error is set on a field that ends inside a byte.
inline Bytes Decode(const Bytes& field, bool eighthBitPrefix, bool* error = nullptr)
{
    Bytes bytes;
    for (size_t i = 0; i < field.size();) {
        const uint8_t high = eighthBitPrefix && field[i] == 'Y' ? 0x80 : 0;
        i += high != 0;
        const bool prefixed = i < field.size() && field[i] == '#';
        i += prefixed;
        if (i >= field.size()) {
            if (error)
                *error = true;
            break;
        }
        const uint8_t c = field[i++];
        bytes.push_back((prefixed && c != '#' && !(eighthBitPrefix && c == 'Y') ? c ^ 0x40 : c) | high);
    }
    return bytes;
}

// SOH, the checked characters, the check and CR. (Byte by byte here and below: GCC 12 takes the copies of
// these short vectors for overruns.)
inline Bytes Frame(const Bytes& checked, const Bytes& check)
{
    Bytes frame{0x01};
    for (const Bytes* part : {&checked, &check})
        for (uint8_t c : *part)
            frame.push_back(c);
    frame.push_back(0x0D);
    return frame;
}

// An answer with the three-character check and optional data.
inline Bytes Ack(uint32_t sequence, const std::string& data = "", uint8_t type = 'Y')
{
    Bytes checked{ToChar(static_cast<uint32_t>(data.size()) + 5), ToChar(sequence), type};
    for (char c : data)
        checked.push_back(static_cast<uint8_t>(c));
    return Frame(checked, Check3(checked));
}

// The answer to the Send-Init with exactly the eight fields.
inline Bytes SendInitAck(uint8_t maxl = '~', uint8_t qbin = 'Y')
{
    const Bytes checked{'+', ' ', 'Y', maxl, '*', ' ', '@', '-', '#', qbin, '3'};
    return Frame(checked, Check1(checked));
}

} // namespace test::kermit
