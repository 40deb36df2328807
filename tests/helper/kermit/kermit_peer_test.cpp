// Files sent to a real Kermit receiver, G-Kermit, running on a
// pseudo-terminal: what it writes to its disk must be the file sent.
#include <gtest/gtest.h>
#include <mutex>

#include "helper/kermit/kermit.h"
#include "tests/helper/support/kermit_model.h"
#include "tests/helper/support/pty_peer.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// G-Kermit answers the Send-Init with its long form of many fields, which
// the sender does not accept: it takes exactly the eight fields it sent.
// That one answer is passed on cut to its first eight fields, with LEN
// and the one-character check recomputed; every later byte goes through
// as it comes.
class EightFieldAnswer {
public:
    void operator()(uint8_t byte)
    {
        if (Passed) {
            KHKermitOnByteReceived(byte);
            return;
        }
        Held.push_back(byte);
        if (byte != 0x0D)
            return;
        Passed = true;
        Bytes answer = Held;
        // SOH LEN SEQ TYPE and at least eight fields.
        if (Held.size() >= 14 && Held[0] == 0x01 && Held[3] == 'Y') {
            std::vector<uint8_t> checked{'+', Held[2], Held[3]};
            checked.insert(checked.end(), Held.begin() + 4, Held.begin() + 12);
            answer = test::kermit::Frame(checked, {test::kermit::Check1(checked)});
        }
        for (uint8_t b : answer)
            KHKermitOnByteReceived(b);
    }

private:
    bool Passed = false;
    Bytes Held;
};

// Bytes below 0x80 and no "Y": both sides announce "Y" for the 8th-bit
// prefix, so none is agreed and G-Kermit reads "Y" as plain data.
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
    test::PtyPeer peer;
    EightFieldAnswer answer;
    ASSERT_TRUE(peer.start({"gkermit", "-q", "-r", "-i", "-P"}, std::ref(answer))) << peer.Error;
    test::SenderPeer = &peer;
    KHKermitSendFile(&test::SendToPeer, "FOO", data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_EQ(peer.wait(120s), 0) << "G-Kermit ended with an error";
    test::SenderPeer = nullptr;
    const Bytes received = peer.file("FOO");
    EXPECT_TRUE(peer.Error.empty()) << peer.Error;
    EXPECT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);
    EXPECT_EQ(tessock::Kermit.DataCopy, nullptr) << "the break went out and the copies with it";
}

INSTANTIATE_TEST_SUITE_P(Sizes, GKermit, ::testing::Values(0, 1, 127, 128, 129, 1000, 131072));

} // namespace
