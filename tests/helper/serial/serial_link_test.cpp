// The serial link end to end through the engine: Saturn programs that echo,
// take or transmit bytes through the calculator's serial registers.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "helper/serial/serial_link.h"
#include "tests/helper/support/calculator.h"

namespace {

using namespace std::chrono_literals;
using test::Calculator;
using test::Io;
using test::Program;

constexpr uint32_t Origin = 0x01000;

// Configures the I/O window and switches the serial port on.
Program Prologue()
{
    Program p(Origin);
    p.lc(5, Io).op("805"); // CONFIG
    p.p(0);
    p.d1(Io + 0x10).lc(1, 8).op("1550"); // DAT1=C P: IOC, port on
    return p;
}

// Waits for a received byte and transmits it back, for ever.
Program Echo()
{
    Program p = Prologue();
    p.label("poll");
    p.d1(Io + 0x11).op("1570");   // C=DAT1 P: RCS
    p.op("808A0").goyes("poll");  // ?CBIT=0 0: the receive register is empty
    p.d1(Io + 0x14).op("14F");    // C=DAT1 B: take the byte
    p.d1(Io + 0x16).op("14D");    // DAT1=C B: transmit it
    p.goto_("poll");
    return p;
}

// A routine that takes the received byte into C's low byte.
Program Take(uint32_t origin = 0x02000)
{
    Program p(origin);
    p.d1(Io + 0x14).op("14F").rtn();
    return p;
}

class SerialLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        Reader = KHSerialGetHandle();
        ASSERT_GE(Reader, 0);
    }
    // Bytes waiting in the pipe, without blocking.
    std::vector<uint8_t> Drain()
    {
        std::vector<uint8_t> bytes(1 << 20);
        const size_t got = test::ReadFor(Reader, bytes.data(), bytes.size(), 100ms);
        bytes.resize(got);
        return bytes;
    }

    Calculator M;
    int Reader = -1;
};

TEST_F(SerialLink, TenThousandBytesComeBackThroughThePipeInOrder)
{
    M.load(Echo());
    KVRun();
    constexpr size_t Count = 10000;
    std::vector<uint8_t> echoed(Count);
    size_t got = 0;
    std::thread reader([&] { got = test::ReadFor(Reader, echoed.data(), Count, 60s); });
    size_t sent = 0;
    for (size_t i = 0; i < Count; ++i)
        sent += KHSerialSendByte(static_cast<uint32_t>(i * 31 + (i >> 8)), 5000);
    reader.join();
    KVStop();
    EXPECT_EQ(sent, Count);
    ASSERT_EQ(got, Count) << "none lost";
    size_t wrong = 0;
    for (size_t i = 0; i < Count; ++i)
        wrong += echoed[i] != static_cast<uint8_t>(i * 31 + (i >> 8));
    EXPECT_EQ(wrong, 0u) << "in order";
}

TEST_F(SerialLink, EachByteWaitsForTheCalculatorToTakeTheOneBefore)
{
    KVMemoryConfig(Io);
    EXPECT_EQ(KHSerialSendByte(0x141, 0), 1u) << "the first goes at once; only the low 8 bits";

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KHSerialSendByte(0x42, 0), 0u) << "not read yet";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms) << "timeout 0 does not wait";
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(KHSerialSendByte(0x42, 150), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 145ms) << "the full timeout";

    M.call(Take());
    EXPECT_EQ(KVGetRegister(KV_REG_A_LOW + 4) & 0xFF, 0x41u) << "C: the first byte, the second was never sent";
    EXPECT_EQ(KHSerialSendByte(0x43, 0), 1u) << "the calculator read it: the next goes";
    EXPECT_EQ(KHSerialSendByte(0x44, 0), 0u);

    // Two reads reported in a row still let only one byte through: the
    // second read finds the register marked full again by hand.
    Program twice(0x03000);
    twice.d1(Io + 0x14).op("14F");              // C=DAT1 B: read, reported
    twice.p(0).lc(1, 1).d1(Io + 0x11).op("1550"); // DAT1=C P: RCS full again
    twice.d1(Io + 0x15).op("1570").rtn();       // C=DAT1 P: read, reported
    M.call(twice);
    EXPECT_EQ(KHSerialSendByte(0x45, 0), 1u);
    EXPECT_EQ(KHSerialSendByte(0x46, 0), 0u) << "the signal is not a counter";
    M.call(Take());
    EXPECT_EQ(KVGetRegister(KV_REG_A_LOW + 4) & 0xFF, 0x45u);
}

TEST_F(SerialLink, AnnouncedChannelCarriesTheBytesAndARefusedByteFreesTheWay)
{
    KVMemoryConfig(Io);
    tessock::SerialEventHandler(KV_SERIAL_CHANNEL, 2);
    EXPECT_EQ(KHSerialSendByte(0x51, 0), 0u) << "the engine takes channel 1 only";
    tessock::SerialEventHandler(KV_SERIAL_CHANNEL, 1);
    EXPECT_EQ(KHSerialSendByte(0x52, 0), 1u) << "nothing went in, so nothing is waited for";
    M.call(Take());
    EXPECT_EQ(KVGetRegister(KV_REG_A_LOW + 4) & 0xFF, 0x52u);

    // Port opened, closed, baud rate: nothing changes.
    tessock::SerialEventHandler(KV_SERIAL_OPENED, 0);
    tessock::SerialEventHandler(KV_SERIAL_CLOSED, 0);
    tessock::SerialEventHandler(KV_SERIAL_BAUD, 9600);
    tessock::SerialEventHandler(99, 7);
    EXPECT_EQ(tessock::Link.SerialChannel.load(), 1u);
    EXPECT_EQ(KHSerialSendByte(0x53, 0), 1u);
    EXPECT_EQ(KHSerialSendByte(0x54, 0), 0u);
    EXPECT_TRUE(Drain().empty());
}

TEST_F(SerialLink, AByteTransmittedBeforeTheLinkOpensComesOutFirst)
{
    tessock::StopSerialLink();
    EXPECT_EQ(KHSerialGetHandle(), -1);
    Program send(0x02000);
    send.lc(5, Io).op("805").lc(2, 0x99).d1(Io + 0x16).op("14D").rtn(); // DAT1=C B: TBR
    M.call(send);                                                       // nobody takes it: it waits
    tessock::StartSerialLink();
    Reader = KHSerialGetHandle();
    ASSERT_GE(Reader, 0);
    const std::vector<uint8_t> bytes = Drain();
    ASSERT_EQ(bytes.size(), 1u);
    EXPECT_EQ(bytes[0], 0x99);
}

// The pipe fills after 64 KiB while nobody reads: the calculator goes on
// transmitting, the bytes that do not fit are dropped, and a stop request
// is answered as usual.
TEST_F(SerialLink, AFullPipeDropsBytesAndNeverHoldsUpTheEngine)
{
    constexpr uint32_t Count = 100000;
    Program p = Prologue();
    p.lc(5, Count).op("D0");       // C: how many; A=0 A
    p.d1(Io + 0x16);
    p.label("send").op("149");     // DAT1=A B: transmit A's low byte
    p.op("E4");                    // A=A+1 A
    p.op("8A2").goyes("done");     // ?A=C A
    p.goto_("send");
    p.label("done").d1(Io + 0x0B).lc(1, 1).op("1550"); // an annunciator: finished
    p.label("idle").goto_("idle");
    M.load(p);
    KVRun();
    const bool finished = test::WaitUntil([] { return (KVGetAnnunciators() & 1) != 0; }, 60s);
    EXPECT_EQ(KHSerialSendByte(0x55, 1000), 1u) << "a sender is not held up either";
    const auto start = std::chrono::steady_clock::now();
    KVStop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(KVIsRunning(), 0u);
    ASSERT_TRUE(finished);
    EXPECT_EQ(KVGetRegister(KV_REG_A_LOW) & 0xFFFFF, Count) << "every byte was transmitted";

    const size_t capacity = static_cast<size_t>(fcntl(Reader, F_GETPIPE_SZ));
    const std::vector<uint8_t> kept = Drain();
    EXPECT_EQ(kept.size(), capacity) << "the pipe took what fits";
    size_t wrong = 0;
    for (size_t i = 0; i < kept.size(); ++i)
        wrong += kept[i] != static_cast<uint8_t>(i);
    EXPECT_EQ(wrong, 0u) << "the first bytes, in order";
}

} // namespace
