// A file sent with the helper library's XModem sender, fed by the pipe's
// reader thread, received by the demonstration ROM.
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

#include "korvane.h"
#include "tessock.h"
#include "tests/e2e/program_start.h"

namespace test {
namespace {

int32_t PatientSender(uint32_t byte)
{
    return static_cast<int32_t>(KHSerialSendByte(byte, 1000));
}

TEST(EndToEnd, AnXModemFileOfAThousandBytesArrivesWhole)
{
    ProgramStart program;
    ASSERT_TRUE(program.waitForLine(XModemLine, "XMODEM PRESS X TO RECEIVE"));
    auto* file = static_cast<uint8_t*>(std::malloc(1000));
    unsigned sum = 0;
    for (unsigned i = 0; i < 1000; ++i) {
        file[i] = static_cast<uint8_t>(i * 13 + 5);
        sum += file[i];
    }
    program.routeBytes([](uint8_t byte) { KHXModemOnByteReceived(byte); });
    KHXModemSendFile(PatientSender, file, 1000);
    KVPressKey(4, 2); // X: the ROM asks for the first block
    EXPECT_TRUE(program.waitForLine(XModemLine, "XMODEM RECEIVING..."));
    KVReleaseKey(4, 2);
    char expected[64];
    std::snprintf(expected, sizeof expected, "XMODEM %07u BYTES SUM %04X", 1000u, sum & 0xFFFF);
    EXPECT_TRUE(program.waitForLine(XModemLine, expected, 30000ms)) << program.line(XModemLine);
}

} // namespace
} // namespace test
