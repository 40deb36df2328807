#include "tests/ui/support/serial_peer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "korvane.h"
#include "tessock.h"
#include "saturn_asm/assembler.h"

namespace uitest {

namespace {

// The ROM configured RAM at #80000; the peer lives in its upper half, far
// from the ROM's object area and data stack.
constexpr uint32_t ReceivedCount = 0xC8000;
constexpr uint32_t ReceivedBytes = 0xC8010;
constexpr uint32_t SendCount = 0xD0000;
constexpr uint32_t SendPosition = 0xD0005;
constexpr uint32_t SendRepeat = 0xD000A;
constexpr uint32_t SendBytes = 0xD0010;
constexpr uint32_t ReceivedRoom = (SendCount - ReceivedBytes) / 2;

const char* const Program = R"(
RCS     = #00111
RBR     = #00114
TBR     = #00116
RXN     = #C8000
RX      = #C8010
TXN     = #D0000
TXP     = #D0005
TXREP   = #D000A
TX      = #D0010
        ORG     #C0000
peer:   SETHEX
        P=      0
loop:   D1=(5)  RCS
        C=DAT1.1
        ?CBIT=0.0 GOYES send
        D1=(5)  RBR
        C=0.A
        C=DAT1.B                ; reading it takes it
        B=C.A
        D1=(5)  RXN
        A=DAT1.A
        A=A+A.A
        LC(5)   RX
        A=A+C.A
        D0=A
        C=B.A
        DAT0=C.B
        A=DAT1.A
        A=A+1.A
        DAT1=A.A
send:   D1=(5)  TXP
        A=DAT1.A
        D1=(5)  TXN
        C=DAT1.A
        ?C>A.A  GOYES next
        ?C=0.A  GOYES idle
        D1=(5)  TXREP
        A=DAT1.A
        ?A=0.A  GOYES idle
        A=A-1.A
        DAT1=A.A
        D1=(5)  TXP
        A=0.A
        DAT1=A.A
idle:   GOTO    loop
next:   D1=(5)  TXP
        A=A+1.A
        DAT1=A.A
        A=A-1.A
        A=A+A.A
        LC(5)   TX
        A=A+C.A
        D0=A
        C=DAT0.B
        D1=(5)  TBR
        DAT1=C.B                ; the high nibble sends it
        GOTO    loop
peer_end:
)";

uint32_t ReadWord(uint32_t address)
{
    uint32_t value = 0;
    for (int i = 4; i >= 0; --i)
        value = value << 4 | KHReadNibble(address + i);
    return value;
}

void WriteWord(uint32_t address, uint32_t value)
{
    for (int i = 0; i < 5; ++i)
        KHWriteNibble(address + i, value >> (4 * i));
}

} // namespace

SerialPeer::SerialPeer()
{
    const saturn::Assembly program = saturn::Assemble(Program);
    if (!program.ok())
        return;
    KVStop();
    for (const saturn::Chunk& chunk : program.Chunks)
        for (size_t i = 0; i < chunk.Nibbles.size(); ++i)
            KHWriteNibble(chunk.Address + static_cast<uint32_t>(i), chunk.Nibbles[i]);
    for (uint32_t word : {ReceivedCount, SendCount, SendPosition, SendRepeat})
        WriteWord(word, 0);
    Loop = static_cast<uint32_t>(program.Symbols.at("loop"));
    Sending = static_cast<uint32_t>(program.Symbols.at("send"));
    End = static_cast<uint32_t>(program.Symbols.at("peer_end"));
    KVSetRegister(KV_REG_PC, static_cast<uint32_t>(program.Symbols.at("peer")));
    // P 0, hexadecimal, in interrupt service: the ROM's handler stays out.
    KVSetRegister(KV_REG_FLAGS, 0x100);
    KVRun();
    Ok = true;
}

void SerialPeer::Transmit(const std::vector<uint8_t>& bytes, uint32_t repeat)
{
    KVStop();
    for (size_t i = 0; i < bytes.size(); ++i) {
        KHWriteNibble(SendBytes + 2 * static_cast<uint32_t>(i), bytes[i] & 0xF);
        KHWriteNibble(SendBytes + 2 * static_cast<uint32_t>(i) + 1, bytes[i] >> 4);
    }
    WriteWord(SendPosition, 0);
    WriteWord(SendRepeat, repeat);
    WriteWord(SendCount, static_cast<uint32_t>(bytes.size()));
    // Stopped on its way to send, the peer holds the old position in a
    // register; it starts that way afresh.
    const uint32_t pc = KVGetRegister(KV_REG_PC);
    if (pc >= Sending && pc < End)
        KVSetRegister(KV_REG_PC, Loop);
    KVRun();
}

std::vector<uint8_t> SerialPeer::Received()
{
    KVStop();
    const uint32_t count = std::min(ReadWord(ReceivedCount), ReceivedRoom);
    std::vector<uint8_t> bytes(count);
    for (uint32_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(KHReadNibble(ReceivedBytes + 2 * i) | KHReadNibble(ReceivedBytes + 2 * i + 1) << 4);
    KVRun();
    return bytes;
}

std::vector<uint8_t> SerialPeer::WaitForReceived(size_t count, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<uint8_t> bytes = Received();
    while (bytes.size() < count && clock.elapsed() < limit.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
        bytes = Received();
    }
    return bytes;
}

} // namespace uitest
