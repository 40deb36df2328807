// The XModem sender byte by byte against blocks written out by the tests'
// own model: block order and numbering, padding, the answers that repeat a
// block, the end of transmission and the release of the buffer.
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

#include "helper/xmodem/xmodem.h"
#include "tests/helper/support/calculator.h"
#include "tests/helper/support/recording_sender.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t Nak = 0x15;
constexpr uint8_t Ack = 0x06;
const Bytes Eot{0x04};

using test::Record;

Bytes Answer(uint8_t byte)
{
    test::TakeRecorded();
    KHXModemOnByteReceived(byte);
    return test::TakeRecorded();
}

// Block `number` carrying data[offset..offset+128), 0x1A past its end.
Bytes Block(uint8_t number, const Bytes& data, size_t offset)
{
    Bytes block{0x01, number, static_cast<uint8_t>(~number)};
    unsigned sum = 0;
    for (size_t i = offset; i < offset + 128; ++i) {
        const uint8_t b = i < data.size() ? data[i] : 0x1A;
        block.push_back(b);
        sum += b;
    }
    block.push_back(static_cast<uint8_t>(sum % 256));
    return block;
}

Bytes Counting(size_t count)
{
    Bytes data(count);
    for (size_t i = 0; i < count; ++i)
        data[i] = static_cast<uint8_t>(i * 13 + 7);
    return data;
}

// Arms a transfer of a malloc'ed copy of the data; capacity bytes are
// allocated, those past the data filled with 0x55.
uint8_t* Arm(const Bytes& data, size_t capacity = 0)
{
    capacity = std::max(capacity, data.size());
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(capacity > 0 ? capacity : 1));
    std::memset(buffer, 0x55, capacity);
    if (!data.empty())
        std::memcpy(buffer, data.data(), data.size());
    KHXModemSendFile(&Record, buffer, static_cast<uint32_t>(data.size()));
    return buffer;
}

bool Released()
{
    std::lock_guard guard(tessock::XModem.Lock);
    return tessock::XModem.Buffer == nullptr;
}

class XModem : public ::testing::Test {
protected:
    void TearDown() override { KHXModemSendFile(nullptr, nullptr, 0); }
};

TEST_F(XModem, A130ByteBufferIsTwoBlocksTheSecondPaddedThenEndOfTransmission)
{
    const Bytes data = Counting(130);
    Arm(data, 256);
    EXPECT_EQ(Answer(Nak), Block(1, data, 0));
    const Bytes second = Answer(Ack);
    EXPECT_EQ(second, Block(2, data, 128));
    ASSERT_EQ(second.size(), 132u);
    EXPECT_EQ(second[3 + 2], 0x1A) << "nothing is read past the size, though the buffer goes on";
    EXPECT_EQ(Answer(Ack), Eot);
    EXPECT_FALSE(Released());
    EXPECT_TRUE(Answer(Ack).empty());
    EXPECT_TRUE(Released());
    EXPECT_TRUE(Answer(Nak).empty()) << "bytes after the end are ignored";
    EXPECT_TRUE(Answer(Ack).empty());
}

TEST_F(XModem, A256ByteBufferIsTwoBlocksWithNoBlockOfFillerAlone)
{
    const Bytes data = Counting(256);
    Arm(data);
    EXPECT_EQ(Answer(Nak), Block(1, data, 0));
    EXPECT_EQ(Answer(Ack), Block(2, data, 128));
    EXPECT_EQ(Answer(Ack), Eot);
    EXPECT_TRUE(Answer(Ack).empty());
    EXPECT_TRUE(Released());
}

TEST_F(XModem, AnEmptyBufferIsTheEndOfTransmissionAtOnce)
{
    Arm({});
    EXPECT_EQ(Answer(Nak), Eot);
    EXPECT_EQ(Answer(Nak), Eot) << "repeated while it is not acknowledged";
    EXPECT_TRUE(Answer(Ack).empty());
    EXPECT_TRUE(Released());
}

TEST_F(XModem, AnythingButAnAcknowledgementRepeatsTheBlock)
{
    const Bytes data = Counting(300);
    Arm(data);
    for (uint8_t answer : {Nak, uint8_t{'C'}, uint8_t{0x00}, uint8_t{0x18}, uint8_t{0xFF}})
        EXPECT_EQ(Answer(answer), Block(1, data, 0)) << int{answer};
    EXPECT_EQ(Answer(Ack), Block(2, data, 128));
    EXPECT_EQ(Answer(Nak), Block(2, data, 128));
    KHXModemOnByteReceived(0x100 | Ack); // only the low 8 bits count
    EXPECT_EQ(Answer(Nak), Block(3, data, 256));
}

TEST_F(XModem, AnAcknowledgementBeforeAnyBlockMovesOnToBlockTwo)
{
    const Bytes data = Counting(300);
    Arm(data);
    EXPECT_EQ(Answer(Ack), Block(2, data, 128));
}

TEST_F(XModem, TheBlockAfter255IsNumberedZero)
{
    const Bytes data = Counting(258 * 128);
    Arm(data);
    Bytes block = Answer(Nak);
    for (unsigned n = 2; n <= 256; ++n)
        block = Answer(Ack);
    EXPECT_EQ(block, Block(0, data, 255 * 128));
    EXPECT_EQ(block[1], 0);
    EXPECT_EQ(block[2], 255);
    EXPECT_EQ(Answer(Ack), Block(1, data, 256 * 128));
}

TEST_F(XModem, ANullBufferArmsNothingWhateverItsSize)
{
    Arm(Counting(10));
    KHXModemSendFile(&Record, nullptr, 1000);
    EXPECT_TRUE(Released()) << "the transfer it replaced is released";
    EXPECT_TRUE(Answer(Nak).empty());
    EXPECT_TRUE(Answer(Ack).empty());
}

TEST_F(XModem, ANewTransferReplacesTheOneUnderWay)
{
    Arm(Counting(1000));
    Answer(Nak);
    Answer(Ack);
    const Bytes second = Counting(5);
    Arm(second);
    EXPECT_EQ(Answer(Nak), Block(1, second, 0));
    EXPECT_EQ(Answer(Ack), Eot);
}

// With no sender of its own the block goes to the calculator through the
// serial link, which waits a millisecond for each byte: with nobody
// reading there, the first byte goes into the receive register and the
// rest are dropped.
TEST_F(XModem, TheDefaultSenderGoesThroughTheSerialLink)
{
    test::Calculator m;
    test::Program configure(0x02000);
    configure.lc(5, test::Io).op("805").rtn(); // CONFIG: the I/O window
    test::Program take(0x02100);
    take.d1(test::Io + 0x14).op("14F").rtn(); // C=DAT1 B: the received byte
    m.call(configure);
    m.call(take); // a byte left by an earlier test is taken: the link is ready
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(4));
    std::memcpy(buffer, "abcd", 4);
    KHXModemSendFile(nullptr, buffer, 4);
    KHXModemOnByteReceived(Nak);
    m.call(take);
    EXPECT_EQ(KVGetRegister(KV_REG_A_LOW + 4) & 0xFF, 0x01u) << "C: the block's SOH";
}

} // namespace
