// A small Kermit receiver of the tests' own, independent of the sender: it
// splits what the sender sent into packets, checks their block checks bit
// by bit, decodes their data and writes the answers a receiver gives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test::kermit {

inline uint8_t ToChar(uint32_t value)
{
    return static_cast<uint8_t>(value + 32);
}

// CRC-16/KERMIT one bit at a time: reflected 0x1021, initial 0, no final XOR.
inline uint16_t Crc16(const std::vector<uint8_t>& bytes)
{
    uint16_t crc = 0;
    for (uint8_t byte : bytes) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool feedback = ((crc ^ (byte >> bit)) & 1) != 0;
            crc = static_cast<uint16_t>(crc >> 1);
            if (feedback)
                crc ^= 0x8408;
        }
    }
    return crc;
}

inline uint8_t Check1(const std::vector<uint8_t>& checked)
{
    uint32_t sum = 0;
    for (uint8_t c : checked)
        sum += c;
    sum &= 0xFF;
    return ToChar((sum + (sum >> 6)) & 63);
}

inline std::vector<uint8_t> Check3(const std::vector<uint8_t>& checked)
{
    const uint16_t crc = Crc16(checked);
    return {ToChar((crc >> 12) & 15), ToChar((crc >> 6) & 63), ToChar(crc & 63)};
}

struct Packet {
    uint8_t Type = 0;
    uint32_t Sequence = 0;
    uint32_t Len = 0;             // the value LEN announces
    std::vector<uint8_t> Field;   // the data field
    bool Sound = false;           // SOH, length, check and CR all as they should be
    std::vector<uint8_t> Bytes;   // the whole packet as sent
};

// Splits a stream into packets from SOH to CR; the Send-Init carries the
// one-character check, the rest the three-character one.
inline std::vector<Packet> SplitPackets(const std::vector<uint8_t>& stream)
{
    std::vector<Packet> packets;
    size_t at = 0;
    while (at < stream.size()) {
        Packet p;
        size_t end = at;
        while (end < stream.size() && stream[end] != 0x0D)
            ++end;
        p.Bytes.assign(stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(std::min(end + 1, stream.size())));
        at = end + 1;
        const std::vector<uint8_t>& b = p.Bytes;
        if (b.size() < 6 || b[0] != 0x01 || b.back() != 0x0D) {
            packets.push_back(p);
            continue;
        }
        p.Len = b[1] - 32u;
        p.Sequence = b[2] - 32u;
        p.Type = b[3];
        const size_t checkLength = p.Type == 'S' ? 1 : 3;
        if (p.Len + 3 != b.size() || p.Len < 2 + checkLength) {
            packets.push_back(p);
            continue;
        }
        p.Field.assign(b.begin() + 4, b.end() - 1 - static_cast<long>(checkLength));
        const std::vector<uint8_t> checked(b.begin() + 1, b.end() - 1 - static_cast<long>(checkLength));
        const std::vector<uint8_t> check(b.end() - 1 - static_cast<long>(checkLength), b.end() - 1);
        p.Sound = checkLength == 1 ? check == std::vector<uint8_t>{Check1(checked)} : check == Check3(checked);
        packets.push_back(p);
    }
    return packets;
}

// Undoes the data encoding. With the 8th-bit prefix in use "Y" sets the
// 8th bit of the byte it leads, and "#Y" is a literal "Y"; without it (as
// a receiver that agreed to none decodes) "Y" is plain data and "#Y" the
// control character 0x19. "#" leads a control character (XOR 0x40) or a
// literal "#". Error is set on a field that ends inside a byte.
inline std::vector<uint8_t> Decode(const std::vector<uint8_t>& field, bool eighthBitPrefix, bool* error = nullptr)
{
    std::vector<uint8_t> bytes;
    size_t i = 0;
    auto next = [&]() -> int { return i < field.size() ? field[i++] : -1; };
    for (int c = next(); c >= 0; c = next()) {
        uint8_t high = 0;
        if (eighthBitPrefix && c == 'Y') {
            high = 0x80;
            c = next();
        }
        if (c == '#') {
            c = next();
            if (c >= 0 && c != '#' && !(eighthBitPrefix && c == 'Y'))
                c ^= 0x40;
        }
        if (c < 0) {
            if (error)
                *error = true;
            break;
        }
        bytes.push_back(static_cast<uint8_t>(c | high));
    }
    return bytes;
}

// SOH, the checked characters, the check and CR.
inline std::vector<uint8_t> Frame(const std::vector<uint8_t>& checked, const std::vector<uint8_t>& check)
{
    std::vector<uint8_t> packet;
    packet.reserve(checked.size() + check.size() + 2);
    packet.push_back(0x01);
    for (uint8_t c : checked)
        packet.push_back(c);
    for (uint8_t c : check)
        packet.push_back(c);
    packet.push_back(0x0D);
    return packet;
}

// An acknowledgement with the three-character check and optional data.
inline std::vector<uint8_t> Ack(uint32_t sequence, const std::string& data = "", uint8_t type = 'Y')
{
    std::vector<uint8_t> checked{ToChar(static_cast<uint32_t>(data.size()) + 5), ToChar(sequence), type};
    for (char c : data)
        checked.push_back(static_cast<uint8_t>(c));
    return Frame(checked, Check3(checked));
}

// The answer to the Send-Init with exactly the eight fields.
inline std::vector<uint8_t> SendInitAck(uint8_t maxl = '~', uint8_t qbin = 'Y')
{
    const std::vector<uint8_t> checked{'+', ' ', 'Y', maxl, '*', ' ', '@', '-', '#', qbin, '3'};
    return Frame(checked, {Check1(checked)});
}

} // namespace test::kermit
