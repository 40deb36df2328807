// Buffers sent to a real XModem receiver, rx of lrzsz in checksum mode,
// running on a pseudo-terminal: what it writes to its disk must be the
// buffer, padded to whole blocks with 0x1A.
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

#include "tessock.h"
#include "tests/helper/support/pty_peer.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

Bytes AnyBytes(size_t count)
{
    Bytes data(count);
    uint32_t seed = 0x9E3779B9u + static_cast<uint32_t>(count);
    for (uint8_t& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return data;
}

class Rx : public ::testing::TestWithParam<size_t> {};

TEST_P(Rx, ReceivesTheBufferPaddedToWholeBlocks)
{
    const Bytes data = AnyBytes(GetParam());
    test::PtyPeer peer;
    // rx empties its input right after it answers; a block sent back within
    // microseconds, as over a pseudo-terminal, would lose its head to that
    // flush. A serial line's time for the answer byte is the slack it needs.
    peer.Turnaround = 2ms;
    ASSERT_TRUE(peer.start({"rx", "-b", "-q", "FOO"}, [](uint8_t byte) { KHXModemOnByteReceived(byte); })) << peer.Error;
    test::SenderPeer = &peer;
    // The library takes the buffer over and frees it.
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(data.size() + 1));
    ASSERT_NE(buffer, nullptr);
    std::memcpy(buffer, data.data(), data.size());
    KHXModemSendFile(&test::SendToPeer, buffer, static_cast<uint32_t>(data.size()));
    EXPECT_EQ(peer.wait(120s), 0) << "rx ended with an error";
    test::SenderPeer = nullptr;

    Bytes expected = data;
    while (expected.size() % 128 != 0)
        expected.push_back(0x1A);
    const Bytes received = peer.file("FOO");
    EXPECT_TRUE(peer.Error.empty()) << peer.Error;
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
    // rx flushes its output as it ends, so its answer to the end of
    // transmission may never arrive: the buffer is released here when it
    // did not (the unit tests cover the release).
    KHXModemSendFile(nullptr, nullptr, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Rx, ::testing::Values(0, 1, 127, 128, 129, 1000, 131072));

} // namespace
