// The serial link end to end through Saturn programs that echo, take or transmit bytes.
#include <fcntl.h>
#include <gtest/gtest.h>

#include "helper/serial/serial_link.h"
#include "tests/helper/support/calculator.h"

namespace {

using namespace std::chrono_literals;
using test::Io;
using test::Program;

uint32_t Take(test::Calculator& m)
{
    m.call(Program(0x02000).d1(Io + 0x14).op("14F").rtn());
    return KVGetRegister(KV_REG_A_LOW + 4) & 0xFF;
}

std::vector<uint8_t> Drain()
{
    std::vector<uint8_t> bytes(1 << 20);
    bytes.resize(test::ReadFor(KHSerialGetHandle(), bytes.data(), bytes.size(), 100ms));
    return bytes;
}

TEST(SerialLink, TenThousandBytesComeBackThroughThePipeInOrder)
{
    test::Calculator m;
    m.load(test::DrawAndEcho());
    KVRun();
    constexpr size_t Count = 10000;
    std::vector<uint8_t> echoed(Count);
    size_t got = 0, sent = 0;
    std::thread reader([&] { got = test::ReadFor(KHSerialGetHandle(), echoed.data(), Count, 60s); });
    for (size_t i = 0; i < Count; ++i)
        sent += KHSerialSendByte(static_cast<uint32_t>(i * 31 + (i >> 8)), 5000);
    reader.join();
    EXPECT_EQ(sent, Count);
    ASSERT_EQ(got, Count) << "none lost";
    for (size_t i = 0; i < Count && !HasFailure(); ++i)
        EXPECT_EQ(echoed[i], static_cast<uint8_t>(i * 31 + (i >> 8))) << "in order, at " << i;
}

TEST(SerialLink, EachByteWaitsForTheCalculatorToTakeTheOneBeforeOnTheAnnouncedChannel)
{
    test::Calculator m;
    KVMemoryConfig(Io);
    EXPECT_EQ(KHSerialSendByte(0x141, 0), 1u) << "the first goes at once; only the low 8 bits";
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KHSerialSendByte(0x42, 0), 0u) << "not read yet";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms) << "timeout 0 does not wait";
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(KHSerialSendByte(0x42, 150), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 145ms) << "the full timeout";
    EXPECT_EQ(Take(m), 0x41u) << "the second was never sent";
    EXPECT_EQ(KHSerialSendByte(0x43, 0), 1u) << "the calculator read it: the next goes";
    EXPECT_EQ(KHSerialSendByte(0x44, 0), 0u);
    // Two reads reported in a row let only one byte through: the second finds the register marked full by hand.
    Program twice(0x03000);
    twice.d1(Io + 0x14).op("14F").p(0).lc(1, 1).d1(Io + 0x11).op("1550").d1(Io + 0x15).op("1570").rtn();
    m.call(twice);
    EXPECT_EQ(KHSerialSendByte(0x45, 0), 1u);
    EXPECT_EQ(KHSerialSendByte(0x46, 0), 0u) << "the signal is not a counter";
    EXPECT_EQ(Take(m), 0x45u);

    tessock::SerialEventHandler(KV_SERIAL_CHANNEL, 2);
    EXPECT_EQ(KHSerialSendByte(0x51, 0), 0u) << "the engine takes channel 1 only";
    tessock::SerialEventHandler(KV_SERIAL_CHANNEL, 1);
    EXPECT_EQ(KHSerialSendByte(0x52, 0), 1u) << "nothing went in, so nothing is waited for";
    EXPECT_EQ(Take(m), 0x52u);
    for (uint32_t event : {uint32_t{KV_SERIAL_OPENED}, uint32_t{KV_SERIAL_CLOSED}, uint32_t{KV_SERIAL_BAUD}, 99u})
        tessock::SerialEventHandler(event, 9600);
    EXPECT_EQ(KHSerialSendByte(0x53, 0), 1u);
    EXPECT_EQ(KHSerialSendByte(0x54, 0), 0u);
    EXPECT_TRUE(Drain().empty());

    // A byte the calculator transmits before the link opens comes out first.
    tessock::StopSerialLink();
    EXPECT_EQ(KHSerialGetHandle(), -1);
    m.call(Program(0x02000).lc(5, Io).op("805").lc(2, 0x99).d1(Io + 0x16).op("14D").rtn()); // DAT1=C B: TBR
    tessock::StartSerialLink();
    EXPECT_EQ(Drain(), std::vector<uint8_t>{0x99});
}

// The pipe fills while nobody reads: the calculator goes on transmitting, the bytes that do not fit are
// dropped, and a stop is answered as usual.
TEST(SerialLink, AFullPipeDropsBytesAndNeverHoldsUpTheEngine)
{
    test::Calculator m;
    constexpr uint32_t Count = 100000;
    Program p(0x01000);
    p.lc(5, Io).op("805").lc(5, Count).op("D0").d1(Io + 0x16); // C: how many; A=0 A
    p.label("send").op("149").op("E4").op("8A2").goyes("done"); // DAT1=A B, A=A+1 A, ?A=C A
    p.goto_("send");
    p.label("done").d1(Io + 0x0B).lc(1, 1).op("1550"); // an annunciator: finished
    p.label("idle").goto_("idle");
    m.load(p);
    KVRun();
    const bool finished = test::WaitUntil([] { return (KVGetAnnunciators() & 1) != 0; }, 60s);
    EXPECT_EQ(KHSerialSendByte(0x55, 1000), 1u) << "a sender is not held up either";
    const auto start = std::chrono::steady_clock::now();
    KVStop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    ASSERT_TRUE(finished);
    EXPECT_EQ(KVGetRegister(KV_REG_A_LOW) & 0xFFFFF, Count) << "every byte was transmitted";
    const std::vector<uint8_t> kept = Drain();
    EXPECT_EQ(kept.size(), static_cast<size_t>(fcntl(KHSerialGetHandle(), F_GETPIPE_SZ))) << "the pipe took what fits";
    for (size_t i = 0; i < kept.size() && !HasFailure(); ++i)
        EXPECT_EQ(kept[i], static_cast<uint8_t>(i)) << "the first bytes, in order";
}

} // namespace
