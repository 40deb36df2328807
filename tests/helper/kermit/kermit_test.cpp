#include <future>
#include <gtest/gtest.h>

#include "helper/kermit/kermit.h"
#include "tests/helper/support/calculator.h"
#include "tests/helper/support/kermit_model.h"

namespace {

using namespace std::chrono_literals;
using namespace test::kermit;

void Feed(const Bytes& bytes)
{
    for (uint8_t byte : bytes)
        KHKermitOnByteReceived(byte);
}
std::string Types(const std::vector<Packet>& packets)
{
    std::string types;
    for (const Packet& p : packets)
        types += static_cast<char>(p.Type);
    return types;
}
std::string Sent() { return Types(SplitPackets(test::TakeRecorded())); }

Bytes Received(const std::vector<Packet>& packets)
{
    Bytes data;
    for (const Packet& p : packets)
        if (const Bytes bytes = Decode(p.Field, true); p.Type == 'D')
            data.insert(data.end(), bytes.begin(), bytes.end());
    return data;
}

// Every byte value but 0x19 and "Y", which the encoding gives the same characters.
Bytes Distinguishable(size_t count)
{
    Bytes data;
    for (size_t i = 0; data.size() < count; ++i)
        if (const uint8_t b = static_cast<uint8_t>(i * 37 + 11); (b & 0x7F) != 0x19)
            data.push_back(b);
    return data;
}

const Bytes SendInitFoo{0x01, 0x2B, 0x20, 0x53, 0x60, 0x2A, 0x20, 0x40, 0x2D, 0x23, 0x59, 0x33, 0x45, 0x0D};

class Kermit : public ::testing::Test {
protected:
    void SetUp() override
    {
        tessock::Kermit.Maxl = 64;
        test::TakeRecorded();
    }
    void TearDown() override { tessock::KermitFreeCopies(); }

    // Every packet sent, each answered as a receiver would, the Send-Init with the MAXL given.
    static std::vector<Packet> RunTransfer(const Bytes& data, uint8_t maxl = '~', const char* name = "FOO")
    {
        KHKermitSendFile(&test::Record, name, data.data(), static_cast<uint32_t>(data.size()));
        std::vector<Packet> all;
        for (std::vector<Packet> sent; !(sent = SplitPackets(test::TakeRecorded())).empty() && all.size() < 100000;) {
            all.insert(all.end(), sent.begin(), sent.end());
            Feed(sent.back().Type == 'S' ? SendInitAck(maxl) : Ack(sent.back().Sequence));
        }
        return all;
    }
};

TEST_F(Kermit, PacketsAreExactlyTheseBytesEncodedAsTheExamplesWithSoundChecksAndSequences)
{
    KHKermitSendFile(&test::Record, "FOO", nullptr, 0);
    EXPECT_EQ(test::TakeRecorded(), SendInitFoo);
    Feed(SendInitAck('`'));
    EXPECT_EQ(test::TakeRecorded(), (Bytes{0x01, 0x28, 0x21, 0x46, 0x46, 0x4F, 0x4F, 0x23, 0x54, 0x52, 0x0D}));

    std::vector<Packet> packets = RunTransfer({0x00, 0x7F, 0x23, 0x59, 0x81, 0xD9, 0xA3, 0x19, 0x41});
    ASSERT_EQ(Types(packets), "SFDZB");
    EXPECT_EQ(packets[2].Field, Bytes({'#', '@', '#', '?', '#', '#', '#', 'Y', 'Y', '#', 'A', 'Y', '#', 'Y', 'Y', '#',
                                       '#', '#', 'Y', 'A'}));
    EXPECT_EQ(tessock::Kermit.DataCopy, nullptr) << "the copies go with the break";
    EXPECT_EQ(tessock::Kermit.NameCopy, nullptr);

    EXPECT_EQ(Types(RunTransfer({})), "SFZB");
    packets = RunTransfer({}, '~', std::string(200, 'N').c_str());
    EXPECT_EQ(packets[1].Field, Bytes(89, 'N')) << "a name too long for the peer's packets is cut";
    EXPECT_EQ(packets[1].Len, 94u);

    // MAXL 64: 48 characters a field; MAXL 94: 78. A three-character byte one short of the limit runs two past it.
    for (const auto& [maxl, limit] : {std::pair<uint8_t, size_t>{'`', 48}, {'~', 78}}) {
        packets = RunTransfer(Bytes(limit, 'a'), maxl);
        EXPECT_EQ(Types(packets), "SFDZB") << limit;
        EXPECT_EQ(packets[2].Len, limit + 5);
        Bytes cut(limit - 1, 'a');
        cut.push_back(0x81);
        cut.push_back('b');
        packets = RunTransfer(cut, maxl);
        ASSERT_EQ(Types(packets), "SFDDZB") << limit;
        EXPECT_EQ(packets[2].Field.size(), limit + 2);
        EXPECT_EQ(packets[3].Field, Bytes{'b'});
    }
}

TEST_F(Kermit, AnswersThatStallTheTransfer)
{
    const auto start = [](bool answered) {
        KHKermitSendFile(&test::Record, "FOO", reinterpret_cast<const uint8_t*>("abc"), 3);
        if (answered)
            Feed(SendInitAck());
        test::TakeRecorded();
    };
    const auto changed = [](Bytes answer, size_t at, uint8_t to) { answer[at] = to; return answer; };
    const Bytes zeroMaxl = changed(SendInitAck(), 4, 0x00);
    for (const Bytes& answer : {Ack(1, "", 'N'), Ack(2), changed(Ack(1), 1, ' ' + 4), changed(Ack(1), 1, 0x1F), Bytes{0x02},
                                zeroMaxl, changed(SendInitAck(), 1, '9'), changed(SendInitAck(), 11, '1')}) {
        tessock::Kermit.Maxl = 64;
        start(answer.size() != SendInitAck().size());
        for (const Bytes& next : {answer, SendInitAck(), Ack(1), Ack(2)})
            Feed(next);
        EXPECT_EQ(Sent(), "") << "nothing more goes out";
        EXPECT_TRUE(answer != zeroMaxl || tessock::Kermit.Maxl == 64) << "a zero MAXL is not taken";
    }
    // An answer ending in another byte than CR releases the next packet, then stalls.
    start(false);
    Feed(changed(SendInitAck(), SendInitAck().size() - 1, '\n'));
    EXPECT_EQ(Sent(), "F");
    Feed(Ack(1));
    EXPECT_EQ(Sent(), "");
    // Bad arguments start nothing and leave the transfer under way; releasing the copies (as unloading does) ends it.
    start(true);
    KHKermitSendFile(&test::Record, nullptr, reinterpret_cast<const uint8_t*>("abc"), 3);
    KHKermitSendFile(&test::Record, "FOO", nullptr, 5);
    EXPECT_TRUE(test::TakeRecorded().empty());
    Feed(Ack(1));
    const std::vector<Packet> data = SplitPackets(test::TakeRecorded());
    EXPECT_EQ(Types(data), "D");
    EXPECT_EQ(Received(data), Bytes({'a', 'b', 'c'}));
    tessock::KermitFreeCopies();
    Feed(Ack(2));
    EXPECT_EQ(Sent(), "");
    // After a completed transfer nothing is answered.
    EXPECT_EQ(Types(RunTransfer(Bytes{'x'})), "SFDZB");
    for (uint32_t sequence = 0; sequence < 64; ++sequence)
        Feed(Ack(sequence));
    Feed(SendInitAck());
    EXPECT_EQ(Sent(), "");
}

// Only a printable MAXL is taken, none below 17; whatever the peer sent the transfer runs to its end within
// the peer's packet length, and the next transfer advertises it.
TEST_F(Kermit, EveryMaxlAPeerMaySendEndsInACompleteTransfer)
{
    const Bytes data = Distinguishable(300);
    for (uint32_t byte = 1; byte < 256; ++byte) {
        tessock::Kermit.Maxl = 64;
        const std::vector<Packet> packets = RunTransfer(data, static_cast<uint8_t>(byte));
        const uint32_t maxl = byte > 0x20 && byte < 0x7F ? std::max(byte - 32, 17u) : 64u;
        EXPECT_EQ(tessock::Kermit.Maxl, static_cast<int32_t>(maxl)) << byte;
        EXPECT_EQ(Types(packets), "SF" + std::string(packets.size() - 4, 'D') + "ZB") << byte;
        EXPECT_EQ(Received(packets), data) << byte;
        for (size_t i = 0; i < packets.size(); ++i) // at MAXL 17 the sequence wraps
            EXPECT_TRUE(packets[i].Sound && packets[i].Sequence == i % 64 && packets[i].Len <= (i ? maxl : 11u))
                << byte << ", " << i;
    }
    RunTransfer(Bytes{'x'}, 'P'); // MAXL 48
    KHKermitSendFile(&test::Record, "BAR", nullptr, 0);
    const std::vector<Packet> init = SplitPackets(test::TakeRecorded());
    ASSERT_EQ(Types(init), "S");
    EXPECT_EQ(init[0].Field.at(0), 'P');
}

// Each answer comes from a thread of its own the moment the packet's CR has gone out, while the sender
// may still be inside its call, which then pauses to give the answer every chance to overtake it.
TEST_F(Kermit, AnswersFromAnotherThreadRacingThePacketTheyAnswerNeverStallATransfer)
{
    static Bytes packet; // the senders run under the library's lock, one at a time
    static std::vector<std::future<void>> answers;
    static std::atomic<int> breaks{0};
    const auto send = [](uint32_t byte) -> int32_t {
        test::Record(byte);
        packet.push_back(static_cast<uint8_t>(byte));
        if (const std::vector<Packet> p = SplitPackets(packet); byte == 0x0D && p.size() == 1 && p[0].Sound) {
            const Bytes answer = p[0].Type == 'S' ? SendInitAck() : Ack(p[0].Sequence);
            answers.push_back(std::async(std::launch::async, [answer] { Feed(answer); }));
            breaks += p[0].Type == 'B';
            std::this_thread::sleep_for(50us);
        }
        packet.resize(byte == 0x0D ? 0 : packet.size());
        return 1;
    };
    const Bytes data = Distinguishable(200);
    for (int i = 0; i < 200 && !HasFailure(); ++i) {
        KHKermitSendFile(+send, "FOO", data.data(), static_cast<uint32_t>(data.size()));
        ASSERT_TRUE(test::WaitUntil([&] { return breaks.load() > i; }, 10s)) << "transfer " << i << " stalled";
        answers.clear();
        const std::vector<Packet> packets = SplitPackets(test::TakeRecorded());
        EXPECT_TRUE(Types(packets).starts_with("SFD") && Types(packets).ends_with("ZB")) << Types(packets);
        EXPECT_EQ(Received(packets), data);
    }

    // With no sender of its own the transfer goes through the serial link into the calculator, which echoes.
    test::Calculator m;
    m.load(test::DrawAndEcho());
    KVRun();
    Bytes echoed(64); // a byte an earlier test left comes back first
    test::ReadFor(KHSerialGetHandle(), echoed.data(), echoed.size(), 200ms);
    tessock::Kermit.Maxl = 64;
    KHKermitSendFile(nullptr, "FOO", nullptr, 0);
    echoed.resize(14);
    EXPECT_EQ(test::ReadFor(KHSerialGetHandle(), echoed.data(), echoed.size(), 5s), echoed.size());
    EXPECT_EQ(echoed, SendInitFoo);
}

} // namespace
