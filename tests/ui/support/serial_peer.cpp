#include "tests/ui/support/serial_peer.h"

#include <algorithm>

#include "korvane.h"
#include "tessock.h"
#include "tests/ui/support/wait.h"

namespace uitest {

namespace {

const char* const PeerProgram = R"(
RCS     = #00111
TCS     = #00112
RBR     = #00114
TBR     = #00116
RXP     = #C8000                ; where the next byte received goes, from RX
RX      = #C8010
TXP     = #D0000                ; the next byte to send, up to TXE
TXE     = #D0005
REP     = #D000A                ; how often to send them all again
TX      = #D0010
        ORG     #C0000
peer:   SETHEX
        P=      0
loop:   D1=(5)  RCS
        C=DAT1.1
        ?CBIT=0.0 GOYES send
        D1=(5)  RBR
        C=DAT1.B                ; reading it takes it
        D1=(5)  RXP
        A=DAT1.A
        D0=A
        DAT0=C.B
        A=A+2.A
        DAT1=A.A
send:   D1=(5)  TCS
        C=DAT1.1
        ?CBIT=1.0 GOYES idle    ; the line has not taken the last byte yet
        D1=(5)  TXP
        A=DAT1.A
        D1=(5)  TXE
        C=DAT1.A
        ?C>A.A  GOYES next
        D1=(5)  REP
        C=DAT1.A
        ?C=0.A  GOYES idle
        C=C-1.A
        DAT1=C.A
        LC(5)   TX
        D1=(5)  TXP
        DAT1=C.A
idle:   GOTO    loop
next:   D0=A
        C=DAT0.B
        A=A+2.A
        D1=(5)  TXP
        DAT1=A.A
        D1=(5)  TBR
        DAT1=C.B                ; the high nibble sends it
        GOTO    loop
peer_end:
)";

void Put(size_t address, size_t value, int nibbles = 5)
{
    for (int i = 0; i < nibbles; ++i)
        KHWriteNibble(static_cast<uint32_t>(address + i), static_cast<uint32_t>(value >> (4 * i)));
}

uint32_t Get(size_t address, int nibbles)
{
    uint32_t value = 0;
    for (int i = nibbles - 1; i >= 0; --i)
        value = value << 4 | KHReadNibble(static_cast<uint32_t>(address + i));
    return value;
}

} // namespace

SerialPeer::SerialPeer() : Program(saturn::Assemble(PeerProgram))
{
    KVStop();
    for (const saturn::Chunk& chunk : Program.Chunks)
        for (size_t i = 0; i < chunk.Nibbles.size(); ++i)
            Put(chunk.Address + i, chunk.Nibbles[i], 1);
    Put(At("RXP"), At("RX"));
    KVSetRegister(KV_REG_PC, At("peer"));
    KVSetRegister(KV_REG_FLAGS, 0x100); // P 0, hexadecimal, in interrupt service
    Transmit({});
}

void SerialPeer::Transmit(const Bytes& bytes, uint32_t repeat)
{
    KVStop();
    for (size_t i = 0; i < bytes.size(); ++i)
        Put(At("TX") + 2 * i, bytes[i], 2);
    Put(At("TXP"), At("TX"));
    Put(At("TXE"), At("TX") + 2 * bytes.size());
    Put(At("REP"), repeat);
    // Stopped on its way to send, it holds the old position in a register.
    if (const uint32_t pc = KVGetRegister(KV_REG_PC); pc >= At("send") && pc < At("peer_end"))
        KVSetRegister(KV_REG_PC, At("loop"));
    KVRun();
}

SerialPeer::Bytes SerialPeer::Received(size_t count, std::chrono::milliseconds limit)
{
    Bytes bytes;
    WaitFor([&] {
        KVStop(); // memory is the execution thread's while it runs
        bytes.resize(std::min((Get(At("RXP"), 5) - At("RX")) / 2, 0x4000u));
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(Get(At("RX") + 2 * i, 2));
        KVRun();
        return bytes.size() >= count;
    }, limit);
    return bytes;
}

uint32_t SerialPeer::At(const char* symbol) const
{
    return static_cast<uint32_t>(Program.Symbols.at(symbol));
}

} // namespace uitest
