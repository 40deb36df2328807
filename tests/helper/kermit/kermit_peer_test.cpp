// Files sent to a real Kermit receiver, G-Kermit, running on a
// pseudo-terminal: what it writes to its disk must be the file sent.
#include <gtest/gtest.h>

#include "helper/kermit/kermit.h"
#include "tests/helper/support/transfer_peers.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// Bytes below 0x80 and no "Y": both sides announce "Y" for the 8th-bit
// prefix, so none is agreed and G-Kermit reads "Y" as plain data (the
// 8-bit encoding is the unit tests' to check).
Bytes SevenBitData(size_t count)
{
    Bytes data;
    uint32_t seed = 0x2545F491u + static_cast<uint32_t>(count);
    while (data.size() < count) {
        seed = seed * 1103515245u + 12345u;
        const uint8_t b = static_cast<uint8_t>((seed >> 16) & 0x7F);
        if (b != 'Y')
            data.push_back(b);
    }
    return data;
}

class GKermit : public ::testing::TestWithParam<size_t> {};

TEST_P(GKermit, ReceivesTheFileIntact)
{
    const Bytes data = SevenBitData(GetParam());
    const test::PeerRun run = test::SendToGKermit(data, 120s);
    ASSERT_TRUE(run.Started) << run.Error;
    EXPECT_EQ(run.ExitStatus, 0) << "G-Kermit ended with an error";
    EXPECT_TRUE(run.Error.empty()) << run.Error;
    EXPECT_EQ(run.File.size(), data.size());
    EXPECT_TRUE(run.File == data);
    EXPECT_EQ(tessock::Kermit.DataCopy, nullptr) << "the break went out and the copies with it";
}

INSTANTIATE_TEST_SUITE_P(Sizes, GKermit, ::testing::Values(0, 1, 127, 128, 129, 1000, 131072));

} // namespace
