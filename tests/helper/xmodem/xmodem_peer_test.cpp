// Buffers sent to a real XModem receiver, rx of lrzsz in checksum mode,
// running on a pseudo-terminal: what it writes to its disk must be the
// buffer, padded to whole blocks with 0x1A.
#include <gtest/gtest.h>

#include "tests/helper/support/transfer_peers.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class Rx : public ::testing::TestWithParam<size_t> {};

TEST_P(Rx, ReceivesTheBufferPaddedToWholeBlocks)
{
    const Bytes data = test::FileData(GetParam(), false);
    const test::PeerRun run = test::SendToRx(data, 120s);
    ASSERT_TRUE(run.Started) << run.Error;
    EXPECT_EQ(run.ExitStatus, 0) << "rx ended with an error";
    Bytes expected = data;
    while (expected.size() % 128 != 0)
        expected.push_back(0x1A);
    EXPECT_TRUE(run.Error.empty()) << run.Error;
    EXPECT_EQ(run.File.size(), expected.size());
    EXPECT_TRUE(run.File == expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Rx, ::testing::Values(0, 1, 127, 128, 129, 1000, 131072));

} // namespace
