// The Kermit sender: one file to the calculator, as the sending side only.
// KHKermitSendFile sends the Send-Init; each acknowledgement fed to
// KHKermitOnByteReceived releases the next packet (file header, data,
// end of file, break). No retransmission, no time-out: a negative or
// unexpected answer stops the transfer where it stands.
#pragma once

#include <cstdint>
#include <mutex>

#include "tessock.h"

namespace tessock {

// Which packet the next acknowledgement releases.
enum KermitPhase : uint32_t {
    KermitPhaseSendInit = 0,
    KermitPhaseFileHeader = 1, // the Send-Init awaits its acknowledgement
    KermitPhaseData = 2,       // a data packet, or the end of file when no data is left
    KermitPhaseBreak = 3,
    KermitPhaseDone = 4, // the break awaits its acknowledgement, which releases nothing
};

// ParseState while no answer is awaited: before the first transfer, after
// a completed one, and once a transfer has stalled.
inline constexpr uint32_t KermitParseIdle = 0xFFFFFFFF;

// Longest data field: a byte's characters are never split, so the field
// stops at the first byte boundary at or past Maxl - 16 characters.
inline constexpr uint32_t KermitDataFieldSize = 128;
inline constexpr int32_t KermitInitialMaxl = 64;
// A peer's MAXL is kept within these: from 17 a field holds at least one
// whole encoded byte (three characters at most); 94 is the largest a
// printable character announces, and keeps the field well inside its
// buffer (Maxl - 14 characters at most).
inline constexpr int32_t KermitMinimumMaxl = 17;
inline constexpr int32_t KermitMaximumMaxl = 94;
static_assert(KermitMaximumMaxl - 14 <= static_cast<int32_t>(KermitDataFieldSize));

struct KermitSender {
    // The user-interface thread starts a transfer while the serial reader
    // thread parses answers; every field below is read and written under
    // this lock, held for a whole packet so that an answer is never parsed
    // against a packet still going out.
    std::mutex Lock;
    uint32_t Phase = KermitPhaseSendInit;
    uint32_t ParseState = KermitParseIdle;
    uint32_t Remaining = 0;
    uint32_t Sequence = 0;
    uint32_t Check = 0;
    KHByteSenderProc Sender = nullptr;
    char* NameCopy = nullptr;
    uint8_t* DataCopy = nullptr;
    uint32_t Size = 0;
    uint32_t Position = 0;
    int32_t Maxl = KermitInitialMaxl;
    uint8_t DataField[KermitDataFieldSize] = {};
};

extern KermitSender Kermit;

// Fills DataField from DataCopy at Position; the field's length. Under
// Kermit.Lock.
uint32_t KermitEncodeData();

// One step of the reflected CRC-16 of the three-character block check.
uint32_t KermitCrcStep(uint32_t crc, uint8_t character);

// Releases the copies of the name and the data (a transfer under way
// stalls: nothing is left to send). Called at library unload too.
void KermitFreeCopies();

} // namespace tessock
