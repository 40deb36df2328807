// The XModem sender: one buffer to the calculator in 128-byte blocks with
// an 8-bit checksum, as the sending side only. KHXModemSendFile arms a
// transfer and sends nothing; the receiver's answers fed to
// KHXModemOnByteReceived decide: an ACK sends the next block (or the end of
// transmission), a NAK the same one again, up to XModemNakLimit NAKs in a
// row, and two CANs in a row end the transfer. Any other byte is noise on
// the line and sends nothing.
#pragma once

#include <cstdint>
#include <mutex>

#include "tessock.h"

namespace tessock {

inline constexpr uint32_t XModemBlockData = 128;
inline constexpr uint32_t XModemBlockBytes = XModemBlockData + 4;
// The NAKs in a row for one block (or the end of transmission) after which
// the receiver is taken to be unable to receive it: the transfer ends.
inline constexpr uint32_t XModemNakLimit = 10;

struct XModemSender {
    // The user-interface thread arms a transfer while the serial reader
    // thread answers the receiver; every field is read and written under
    // this lock, held while a block goes out.
    std::mutex Lock;
    uint8_t BlockNumber = 0;
    uint8_t* Buffer = nullptr; // taken over from the caller (malloc), freed with free
    uint32_t Size = 0;
    // The offset of the current block; wide enough that stepping past the
    // last block of the largest buffer does not wrap to its start.
    uint64_t Position = 0;
    KHByteSenderProc Sender = nullptr;
    // NAKs since the current block became current; whether the last byte
    // was a CAN.
    uint32_t Naks = 0;
    bool AfterCan = false;
};

extern XModemSender XModem;

// The 132 bytes of the block at Position: SOH, the number and its
// complement, 128 data bytes (0x1A past Size) and their sum. Under
// XModem.Lock; reads nothing of Buffer at or past Size.
void XModemBuildBlock(uint8_t (&block)[XModemBlockBytes]);

} // namespace tessock
