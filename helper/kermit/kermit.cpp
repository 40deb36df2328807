#include "helper/kermit/kermit.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace tessock {

constinit KermitSender Kermit;

namespace {

constexpr uint8_t Soh = 0x01;
constexpr uint8_t Cr = 0x0D;
constexpr uint8_t ControlPrefix = '#';
constexpr uint8_t EighthBitPrefix = 'Y';
constexpr uint8_t Acknowledgement = 'Y';

using Guard = std::lock_guard<std::mutex>;

constexpr uint8_t ToChar(uint32_t value)
{
    return static_cast<uint8_t>(value + 32);
}

// ParseState: the step the next byte is judged by, counted from 0; the
// parser of the Send-Init's answer and the general one share the numbers.
// Idle covers both "no transfer" and "stalled": every byte is ignored
// until the next KHKermitSendFile.
constexpr uint32_t ParseIdle = KermitParseIdle;

// What each step of the Send-Init's answer expects. The answer must carry
// exactly the eight fields, with the values this sender can work with.
enum Expect : uint16_t {
    AnyByte = 0x100,
    NonZeroMaxl = 0x101,
    CurrentSequence = 0x102,
};
constexpr uint16_t SendInitAnswer[] = {
    Soh,             // SOH
    '+',             // LEN 11: exactly the eight fields
    CurrentSequence, // SEQ
    Acknowledgement, // TYPE
    NonZeroMaxl,     // MAXL
    AnyByte,         // TIME
    ' ',             // NPAD 0
    '@',             // PADC NUL
    '-',             // EOL CR
    '#',             // QCTL
    AnyByte,         // QBIN
    '3',             // CHKT: the three-character check
    AnyByte,         // block check, not verified
    AnyByte,         // the end of line: the last step
};
constexpr uint32_t SendInitAnswerSteps = std::size(SendInitAnswer);

// The general answer's steps.
enum GeneralStep : uint32_t {
    StepSoh,
    StepLen,
    StepSequence,
    StepType,
    StepDataOrFirstCheck,
    StepSecondCheck,
    StepThirdCheck,
    StepEnd,
};
// SEQ, TYPE and the three check characters.
constexpr uint32_t ShortestAnswer = 5;

// Two look-ups of 16 entries per character: the table of the high nibble
// and of the low nibble of the character XOR the CRC's low byte.
constexpr uint16_t ReflectedCrc(uint32_t value, int bits)
{
    for (int i = 0; i < bits; ++i)
        value = (value & 1) ? (value >> 1) ^ 0x8408 : value >> 1;
    return static_cast<uint16_t>(value);
}

constexpr std::array<uint16_t, 16> MakeTable(uint32_t shift)
{
    std::array<uint16_t, 16> table{};
    for (uint32_t n = 0; n < 16; ++n)
        table[n] = ReflectedCrc(n << shift, 8);
    return table;
}

constexpr std::array<uint16_t, 16> HighNibbleCrc = MakeTable(4);
constexpr std::array<uint16_t, 16> LowNibbleCrc = MakeTable(0);

int32_t KermitDefaultSender(uint32_t byte)
{
    return static_cast<int32_t>(KHSerialSendByte(byte, 1000));
}

// Under the lock. Frees what a transfer holds; the parser is left alone.
void ReleaseCopies()
{
    KermitSender& k = Kermit;
    std::free(k.NameCopy);
    std::free(k.DataCopy);
    k.NameCopy = nullptr;
    k.DataCopy = nullptr;
    k.Size = 0;
    k.Position = 0;
}

void Send(uint8_t byte)
{
    Kermit.Sender(byte);
}

// Sends a character inside the block check, folded into it.
void SendChecked(uint8_t character, bool crc)
{
    KermitSender& k = Kermit;
    k.Check = crc ? KermitCrcStep(k.Check, character) : k.Check + character;
    Send(character);
}

// SOH, LEN, SEQ, TYPE, the field, the block check and CR. The Send-Init
// carries the one-character check, every other packet the CRC.
void SendPacket(uint8_t type, const uint8_t* field, uint32_t length)
{
    KermitSender& k = Kermit;
    const bool crc = type != 'S';
    const uint32_t checkLength = crc ? 3 : 1;
    Send(Soh);
    k.Check = 0;
    SendChecked(ToChar(length + 2 + checkLength), crc);
    SendChecked(ToChar(k.Sequence), crc);
    SendChecked(type, crc);
    for (uint32_t i = 0; i < length; ++i)
        SendChecked(field[i], crc);
    if (crc) {
        Send(ToChar((k.Check >> 12) & 15));
        Send(ToChar((k.Check >> 6) & 63));
        Send(ToChar(k.Check & 63));
    } else {
        const uint32_t sum = k.Check & 0xFF;
        Send(ToChar((sum + (sum >> 6)) & 63));
    }
    Send(Cr);
}

void SendInit()
{
    const uint8_t fields[] = {
        ToChar(static_cast<uint32_t>(Kermit.Maxl)), // MAXL: the longest packet accepted
        '*',                                        // TIME: 10 seconds
        ' ',                                        // NPAD: no padding
        '@',                                        // PADC: NUL
        '-',                                        // EOL: CR
        ControlPrefix,                              // QCTL
        EighthBitPrefix,                            // QBIN: 8th-bit prefixing on request
        '3',                                        // CHKT: three-character CRC
    };
    SendPacket('S', fields, sizeof fields);
}

void SendFileHeader()
{
    // The name goes unencoded; one longer than the peer's packets allow is
    // cut, so that LEN stays a printable character within its MAXL.
    const char* name = Kermit.NameCopy;
    const size_t limit = static_cast<size_t>(Kermit.Maxl) - 5;
    const size_t length = strnlen(name, limit);
    SendPacket('F', reinterpret_cast<const uint8_t*>(name), static_cast<uint32_t>(length));
}

// The phase moves on, and the parser is reset, before the first byte of the
// packet goes out: the packet's answer can come back while it is still
// being sent.
void KermitSendNext()
{
    KermitSender& k = Kermit;
    switch (k.Phase) {
    case KermitPhaseSendInit:
        k.Sequence = 0;
        k.Phase = KermitPhaseFileHeader;
        k.ParseState = 0;
        SendInit();
        break;
    case KermitPhaseFileHeader:
        k.Phase = KermitPhaseData;
        k.ParseState = 0;
        SendFileHeader();
        break;
    case KermitPhaseData: {
        const uint32_t length = KermitEncodeData();
        k.ParseState = 0;
        if (length > 0) {
            SendPacket('D', k.DataField, length);
        } else {
            k.Phase = KermitPhaseBreak;
            SendPacket('Z', nullptr, 0);
        }
        break;
    }
    case KermitPhaseBreak:
        k.Phase = KermitPhaseDone;
        k.ParseState = 0;
        SendPacket('B', nullptr, 0);
        ReleaseCopies();
        break;
    default:
        // The break's answer: the transfer is complete.
        k.ParseState = ParseIdle;
        break;
    }
}

// The last step of either parser: the next packet goes out first, then the
// byte decides whether another answer may follow.
void FinishAnswer(uint8_t byte)
{
    KermitSender& k = Kermit;
    k.Sequence = (k.Sequence + 1) % 64;
    KermitSendNext();
    if (byte != Cr || k.ParseState == ParseIdle)
        k.ParseState = ParseIdle;
    else
        k.ParseState = 0;
}

void ReceiveSendInitAnswer(uint8_t byte)
{
    KermitSender& k = Kermit;
    const uint32_t step = k.ParseState;
    if (step + 1 == SendInitAnswerSteps) {
        FinishAnswer(byte);
        return;
    }
    bool matches;
    switch (SendInitAnswer[step]) {
    case AnyByte:
        matches = true;
        break;
    case CurrentSequence:
        matches = byte == ToChar(k.Sequence);
        break;
    case NonZeroMaxl:
        matches = byte != 0;
        // Only a printable MAXL is taken; it is kept within the bounds
        // that let every field be built and fit its buffer.
        if (byte > 0x20 && byte < 0x7F) {
            const int32_t maxl = byte - 32;
            k.Maxl = maxl < KermitMinimumMaxl ? KermitMinimumMaxl : maxl > KermitMaximumMaxl ? KermitMaximumMaxl : maxl;
        }
        break;
    default:
        matches = byte == SendInitAnswer[step];
        break;
    }
    k.ParseState = matches ? step + 1 : ParseIdle;
}

void ReceiveGeneralAnswer(uint8_t byte)
{
    KermitSender& k = Kermit;
    switch (k.ParseState) {
    case StepSoh:
        k.ParseState = byte == Soh ? StepLen : ParseIdle;
        break;
    case StepLen:
        k.Remaining = static_cast<uint32_t>(byte) - 32;
        k.ParseState = byte >= 0x20 && k.Remaining >= ShortestAnswer ? StepSequence : ParseIdle;
        break;
    case StepSequence:
        --k.Remaining;
        k.ParseState = byte == ToChar(k.Sequence) ? StepType : ParseIdle;
        break;
    case StepType:
        --k.Remaining;
        k.ParseState = byte == Acknowledgement ? StepDataOrFirstCheck : ParseIdle;
        break;
    case StepDataOrFirstCheck:
        // The answer's data is skipped; the three last characters are the
        // block check.
        if (k.Remaining-- <= 3)
            k.ParseState = StepSecondCheck;
        break;
    case StepSecondCheck:
        --k.Remaining;
        k.ParseState = StepThirdCheck;
        break;
    case StepThirdCheck:
        --k.Remaining;
        k.ParseState = StepEnd;
        break;
    case StepEnd:
        FinishAnswer(byte);
        break;
    default:
        k.ParseState = ParseIdle;
        break;
    }
}

void KermitReceiveByte(uint8_t byte)
{
    if (Kermit.ParseState == ParseIdle)
        return;
    if (Kermit.Phase == KermitPhaseFileHeader)
        ReceiveSendInitAnswer(byte);
    else
        ReceiveGeneralAnswer(byte);
}

} // namespace

uint32_t KermitCrcStep(uint32_t crc, uint8_t character)
{
    const uint32_t c = (crc ^ character) & 0xFF;
    return (crc >> 8) ^ HighNibbleCrc[c >> 4] ^ LowNibbleCrc[c & 15];
}

uint32_t KermitEncodeData()
{
    KermitSender& k = Kermit;
    // Maxl is never below 17, so the limit is at least one character and
    // a byte's three characters at most end the field within its buffer.
    const uint32_t limit = static_cast<uint32_t>(k.Maxl) - 16;
    uint32_t n = 0;
    while (n < limit && k.Position < k.Size) {
        const uint8_t b = k.DataCopy[k.Position++];
        uint8_t c = b;
        if (b > 0x7F) {
            k.DataField[n++] = EighthBitPrefix;
            c = b & 0x7F;
        }
        if (c < 0x20 || c == 0x7F) {
            k.DataField[n++] = ControlPrefix;
            k.DataField[n++] = c ^ 0x40;
        } else if (c == ControlPrefix || c == EighthBitPrefix) {
            k.DataField[n++] = ControlPrefix;
            k.DataField[n++] = c;
        } else {
            k.DataField[n++] = c;
        }
    }
    return n;
}

void KermitFreeCopies()
{
    Guard guard(Kermit.Lock);
    ReleaseCopies();
    // Nothing is left to send: the transfer under way ends here.
    Kermit.ParseState = ParseIdle;
}

} // namespace tessock

using namespace tessock;

extern "C" {

void KHKermitSendFile(KHByteSenderProc sender, const char* name, const uint8_t* data, uint32_t size)
{
    if (!name || (!data && size > 0))
        return;
    // The copies are made before anything changes: a transfer that cannot
    // start leaves the one under way as it was.
    const size_t nameBytes = std::strlen(name) + 1;
    char* nameCopy = static_cast<char*>(std::malloc(nameBytes));
    uint8_t* dataCopy = static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (!nameCopy || !dataCopy) {
        std::free(nameCopy);
        std::free(dataCopy);
        return;
    }
    std::memcpy(nameCopy, name, nameBytes);
    if (size > 0)
        std::memcpy(dataCopy, data, size);

    Guard guard(Kermit.Lock);
    KermitSender& k = Kermit;
    k.Sender = sender ? sender : &KermitDefaultSender;
    ReleaseCopies();
    k.NameCopy = nameCopy;
    k.DataCopy = dataCopy;
    k.Size = size;
    k.Position = 0;
    k.Phase = KermitPhaseSendInit;
    k.ParseState = 0;
    KermitSendNext();
}

void KHKermitOnByteReceived(uint32_t byte)
{
    Guard guard(Kermit.Lock);
    KermitReceiveByte(static_cast<uint8_t>(byte));
}

} // extern "C"
