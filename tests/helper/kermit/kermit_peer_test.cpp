// Files sent to a real Kermit receiver, G-Kermit, running on a
// pseudo-terminal: what it writes to its disk must be the file sent.
#include <gtest/gtest.h>

#include "helper/kermit/kermit.h"
#include "tests/helper/support/transfer_peers.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class GKermit : public ::testing::TestWithParam<size_t> {};

TEST_P(GKermit, ReceivesTheFileIntact)
{
    const Bytes data = test::FileData(GetParam(), true);
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
