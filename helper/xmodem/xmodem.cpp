#include "helper/xmodem/xmodem.h"

#include <cstdlib>
#include <utility>

namespace tessock {

constinit XModemSender XModem;

namespace {

constexpr uint8_t Soh = 0x01;
constexpr uint8_t Eot = 0x04;
constexpr uint8_t Ack = 0x06;
constexpr uint8_t Nak = 0x15;
constexpr uint8_t Can = 0x18;
constexpr uint8_t Filler = 0x1A;

using Guard = std::lock_guard<std::mutex>;

// The receiver's bytes come at whatever pace the calculator reads: the
// default sender waits only a millisecond for each.
int32_t XModemDefaultSender(uint32_t byte)
{
    return static_cast<int32_t>(KHSerialSendByte(byte, 1));
}

// Under the lock.
void XModemEnd()
{
    XModemSender& x = XModem;
    std::free(x.Buffer);
    x.Buffer = nullptr;
    x.Size = 0;
    x.Position = 0;
    x.Sender = nullptr;
    x.BlockNumber = 0;
    x.Naks = 0;
    x.AfterCan = false;
}

void XModemSendBlock()
{
    uint8_t block[XModemBlockBytes];
    XModemBuildBlock(block);
    for (uint8_t byte : block)
        XModem.Sender(byte);
}

// Only the receiver's ACK, NAK and CAN mean anything. Whatever else comes
// (a calculator echoing what it receives, noise) sends nothing: answering
// it would feed the echo with whole blocks, for ever.
void XModemReceiveByte(uint8_t byte)
{
    XModemSender& x = XModem;
    if (!x.Buffer)
        return;
    const bool afterCan = std::exchange(x.AfterCan, byte == Can);
    if (byte == Can) {
        if (afterCan)
            XModemEnd(); // the receiver cancelled
        return;
    }
    if (byte == Ack) {
        if (x.Position >= x.Size) {
            // The end of transmission is acknowledged.
            XModemEnd();
            return;
        }
        ++x.BlockNumber;
        x.Position += XModemBlockData;
        x.Naks = 0;
    } else if (byte == Nak) {
        if (++x.Naks >= XModemNakLimit) {
            XModemEnd(); // the receiver cannot take this block
            return;
        }
    } else {
        return;
    }
    // After an acknowledgement the next block, after a NAK the same one
    // again.
    if (x.Position < x.Size)
        XModemSendBlock();
    else
        x.Sender(Eot);
}

} // namespace

void XModemBuildBlock(uint8_t (&block)[XModemBlockBytes])
{
    const XModemSender& x = XModem;
    block[0] = Soh;
    block[1] = x.BlockNumber;
    block[2] = static_cast<uint8_t>(255 - x.BlockNumber);
    uint32_t sum = 0;
    for (uint32_t i = 0; i < XModemBlockData; ++i) {
        const uint64_t at = x.Position + i;
        const uint8_t byte = at < x.Size ? x.Buffer[at] : Filler;
        block[3 + i] = byte;
        sum += byte;
    }
    block[XModemBlockBytes - 1] = static_cast<uint8_t>(sum);
}

} // namespace tessock

using namespace tessock;

extern "C" {

void KHXModemSendFile(KHByteSenderProc sender, uint8_t* buffer, uint32_t size)
{
    Guard guard(XModem.Lock);
    XModemSender& x = XModem;
    if (x.Buffer)
        XModemEnd();
    // A null buffer arms nothing, whatever size comes with it: every byte
    // is then ignored.
    if (!buffer)
        return;
    x.Buffer = buffer;
    x.Size = size;
    x.Position = 0;
    x.Sender = sender ? sender : &XModemDefaultSender;
    x.BlockNumber = 1;
    x.Naks = 0;
    x.AfterCan = false;
}

void KHXModemOnByteReceived(uint32_t byte)
{
    Guard guard(XModem.Lock);
    XModemReceiveByte(static_cast<uint8_t>(byte));
}

} // extern "C"
