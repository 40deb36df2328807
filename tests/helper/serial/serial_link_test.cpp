// The serial link end to end through Saturn programs that echo, take or transmit bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include "helper/serial/serial_link.h"
#include "tests/helper/support/burst_sender.h"

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

// While the pipe is full the calculator's byte waits in its transmitter: a reader that comes late loses nothing.
// With nobody reading, the calculator is held only until the link gives the reader up, and neither the engine nor
// a sender is ever held up.
TEST(SerialLink, AFullPipeHoldsTheCalculatorsByteUntilThereIsRoomAndNobodyReadingHoldsNothingUp)
{
    constexpr size_t Count = 100000; // far more than the pipe holds
    const int pipe = KHSerialGetHandle();
    const size_t capacity = static_cast<size_t>(fcntl(pipe, F_GETPIPE_SZ));
    const auto held = [&] {
        int waiting = 0;
        return ioctl(pipe, FIONREAD, &waiting) == 0 && static_cast<size_t>(waiting) == capacity;
    };
    for (const bool reader : {true, false}) {
        test::Calculator m;
        ASSERT_TRUE(test::LoadBurstSender(m, Count));
        KVRun();
        ASSERT_TRUE(test::WaitUntil(held, 10s)) << "the pipe fills";
        EXPECT_EQ(KHSerialSendByte(0x55, 1000), 1u) << "a sender is not held up";
        if (reader) {
            std::vector<uint8_t> bytes(Count);
            ASSERT_EQ(test::ReadFor(pipe, bytes.data(), Count, 60s), Count) << "none lost";
            for (size_t i = 0; i < Count && !HasFailure(); ++i)
                EXPECT_EQ(bytes[i], static_cast<uint8_t>(i)) << "in order, at " << i;
        }
        EXPECT_TRUE(test::WaitUntil([] { return (KVGetAnnunciators() & 1) != 0; }, 60s)) << "every byte went";
        const auto start = std::chrono::steady_clock::now();
        KVStop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    }
    const std::vector<uint8_t> kept = Drain();
    ASSERT_EQ(kept.size(), capacity) << "with nobody reading the pipe kept what fits, the rest was dropped";
    for (size_t i = 0; i < kept.size() && !HasFailure(); ++i)
        EXPECT_EQ(kept[i], static_cast<uint8_t>(i)) << "the first bytes, in order";
}

} // namespace
