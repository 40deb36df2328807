// A program on the calculator that sends count bytes, 0, 1, 2... modulo 256, as fast as its transmitter takes them,
// waiting for it as on a real line, then lights annunciator 0. The serial link's test and the transfer benchmark
// run it to see what becomes of a burst when the pipe fills.
#pragma once

#include <string>

#include "saturn_asm/assembler.h"
#include "tests/helper/support/calculator.h"

namespace test {

// Places the program in the calculator's ROM and points PC at it, the engine stopped; false when it does not
// assemble.
inline bool LoadBurstSender(Calculator& m, uint32_t count)
{
    const saturn::Assembly sender = saturn::Assemble("COUNT = " + std::to_string(count) + R"(
IO      = #F0000
TCS     = IO+#12
TBR     = IO+#16
ANNUN   = IO+#0B
        ORG     #01000
start:  LC(5)   IO
        CONFIG
        D1=(5)  ANNUN
        LC(1)   0
        DAT1=C.1
        LC(5)   COUNT
        D=C.A
        B=0.A
wait:   D1=(5)  TCS
        C=DAT1.1
        ?CBIT=1.0 GOYES wait    ; the line has not taken the last byte
        D1=(5)  TBR
        C=B.A
        DAT1=C.B
        B=B+1.A
        C=B.A
        ?D#C.A  GOYES wait
        D1=(5)  ANNUN
        LC(1)   1
        DAT1=C.1
idle:   GOTO    idle
)");
    if (!sender.ok() || !m.Rom)
        return false;
    for (const saturn::Chunk& chunk : sender.Chunks)
        std::copy(chunk.Nibbles.begin(), chunk.Nibbles.end(), m.Rom + chunk.Address);
    KVSetRegister(KV_REG_PC, static_cast<uint32_t>(sender.Symbols.at("start")));
    return true;
}

} // namespace test
