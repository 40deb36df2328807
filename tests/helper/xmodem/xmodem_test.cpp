// The XModem sender byte by byte against the tests' own blocks, then both
// senders' whole files to real receivers: G-Kermit, and rx of lrzsz.
#include <cstdlib>
#include <gtest/gtest.h>

#include "helper/kermit/kermit.h"
#include "helper/xmodem/xmodem.h"
#include "tests/helper/support/calculator.h"
#include "tests/helper/support/transfer_peers.h"
#include "tests/rom/xmodem_block.h"

namespace {

using namespace std::chrono_literals;
using test::XModemBlock;
using Bytes = std::vector<uint8_t>;
constexpr uint8_t Nak = 0x15, Ack = 0x06, Can = 0x18;
const Bytes Eot{0x04};

Bytes Answer(uint32_t byte)
{
    test::TakeRecorded();
    KHXModemOnByteReceived(byte);
    return test::TakeRecorded();
}

// Sends a malloc'ed copy of the data in a buffer of capacity bytes, those past the data 0x55.
Bytes Arm(size_t count, size_t capacity = 0)
{
    const Bytes data = test::FileData(count, false);
    capacity = std::max({capacity, count, size_t{1}});
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(capacity));
    std::fill(std::copy(data.begin(), data.end(), buffer), buffer + capacity, 0x55);
    KHXModemSendFile(&test::Record, buffer, static_cast<uint32_t>(count));
    return data;
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

TEST_F(XModem, PaddedBlocksGoOutThenTheEndOfTransmissionUntilItsAcknowledgementReleasesTheBuffer)
{
    for (const size_t size : {130, 256, 0}) { // no block of filler alone after 256
        const Bytes data = Arm(size, 256);
        for (size_t block = 0; block * 128 < size; ++block)
            EXPECT_EQ(Answer(block ? Ack : Nak), XModemBlock(data, block * 128, uint8_t(block + 1))) << size;
        EXPECT_EQ(Answer(size ? Ack : Nak), Eot) << "nothing is read past the size, though the buffer goes on";
        EXPECT_EQ(Answer(Nak), Eot) << "repeated while it is not acknowledged";
        EXPECT_FALSE(Released());
        EXPECT_TRUE(Answer(Ack).empty());
        EXPECT_TRUE(Released());
        EXPECT_TRUE(Answer(Nak).empty()) << "bytes after the end are ignored";
    }
}

TEST_F(XModem, ANakRepeatsTheBlockUpToTheTenthInARowTwoCansEndItOtherBytesSendNothingAndTheBlockAfter255IsZero)
{
    Bytes data = Arm(258 * 128);
    EXPECT_EQ(Answer(Ack), XModemBlock(data, 128, 2)) << "an acknowledgement before any block";
    // An echo of the block, or noise: nothing goes out, and the NAKs around it still count as in a row.
    for (int nak = 1; nak < 10; ++nak) {
        for (uint32_t other : {uint8_t{'C'}, uint8_t{0x00}, uint8_t{0x01}, uint8_t{0x04}, uint8_t{0xFF}, Can})
            EXPECT_TRUE(Answer(other).empty()) << other;
        EXPECT_EQ(Answer(Nak), XModemBlock(data, 128, 2)) << nak;
    }
    EXPECT_EQ(Answer(0x100 | Ack), XModemBlock(data, 256, 3)) << "only the low 8 bits count";
    for (int nak = 1; nak < 10; ++nak)
        EXPECT_EQ(Answer(Nak), XModemBlock(data, 256, 3)) << "an acknowledgement starts the count again";
    EXPECT_TRUE(Answer(Nak).empty()) << "the tenth NAK in a row gives up";
    EXPECT_TRUE(Released());

    data = Arm(258 * 128);
    for (unsigned n = 1; n <= 255; ++n)
        Answer(n == 1 ? Nak : Ack);
    EXPECT_EQ(Answer(Ack), XModemBlock(data, 255 * 128, 0));
    EXPECT_EQ(Answer(Ack), XModemBlock(data, 256 * 128, 1));
    EXPECT_TRUE(Answer(Can).empty());
    EXPECT_EQ(Answer(Nak), XModemBlock(data, 256 * 128, 1)) << "one CAN alone ends nothing";
    EXPECT_TRUE(Answer(Can).empty() && Answer(Can).empty());
    EXPECT_TRUE(Released()) << "two in a row cancel";
    EXPECT_TRUE(Answer(Nak).empty());

    Arm(9);
    const Bytes second = Arm(5); // replaces the transfer under way
    EXPECT_EQ(Answer(Nak), XModemBlock(second, 0, 1));
    KHXModemSendFile(&test::Record, nullptr, 1000);
    EXPECT_TRUE(Released()) << "a null buffer arms nothing, and the transfer it replaced is released";
    EXPECT_TRUE(Answer(Nak).empty());
    EXPECT_TRUE(Answer(Ack).empty());

    // With no sender of its own the block goes through the serial link, which waits a millisecond a byte: with
    // nobody reading there the SOH goes into the receive register and the rest are dropped.
    test::Calculator m;
    const test::Program take = test::Program(0x02000).lc(5, test::Io).op("805").d1(test::Io + 0x14).op("14F").rtn();
    m.call(take); // a byte an earlier test left is taken: the link is ready
    KHXModemSendFile(nullptr, static_cast<uint8_t*>(std::calloc(4, 1)), 4);
    KHXModemOnByteReceived(Nak);
    m.call(take);
    EXPECT_EQ(KVGetRegister(KV_REG_A_LOW + 4) & 0xFF, 0x01u) << "C: the block's SOH";
}

// Whole files to the real receivers. G-Kermit reads "Y" as plain data; rx pads to whole blocks.
class Peers : public ::testing::TestWithParam<std::tuple<bool, size_t>> {};

TEST_P(Peers, ReceiveTheFileIntact)
{
    const auto [kermit, size] = GetParam();
    const Bytes data = test::FileData(size, kermit);
    const test::PeerRun run = kermit ? test::SendToGKermit(data, 120s) : test::SendToRx(data, 120s);
    ASSERT_TRUE(run.Started) << run.Error;
    EXPECT_EQ(run.ExitStatus, 0) << "the receiver ended with an error";
    EXPECT_EQ(run.Error, "");
    Bytes expected = data;
    expected.resize(kermit ? size : (size + 127) / 128 * 128, 0x1A);
    EXPECT_TRUE(run.File == expected) << run.File.size() << " bytes of " << expected.size();
    EXPECT_EQ(tessock::Kermit.DataCopy, nullptr) << "the break went out and the copies with it";
}

INSTANTIATE_TEST_SUITE_P(Sizes, Peers, ::testing::Combine(::testing::Bool(), ::testing::Values(0, 1, 127, 128, 129, 1000, 131072)),
                         [](const auto& info) { return (std::get<0>(info.param) ? "GKermit" : "Rx") + std::to_string(std::get<1>(info.param)); });

} // namespace
