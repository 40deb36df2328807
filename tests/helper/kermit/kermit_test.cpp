// The Kermit sender against the tests' own receiver model: exact packets,
// the data encoding, field limits, the answers that stall a transfer, the
// bounds on a peer's MAXL and answers that race the packet they answer.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "helper/kermit/kermit.h"
#include "tests/helper/support/calculator.h"
#include "tests/helper/support/kermit_model.h"
#include "tests/helper/support/loaded_library.h"
#include "tests/helper/support/recording_sender.h"

namespace {

using namespace std::chrono_literals;
using test::kermit::Ack;
using test::kermit::Packet;
using test::kermit::SendInitAck;
using test::kermit::SplitPackets;
using Bytes = std::vector<uint8_t>;

using test::Record;

Bytes TakeSent()
{
    return test::TakeRecorded();
}

void Feed(const Bytes& bytes)
{
    for (uint8_t byte : bytes)
        KHKermitOnByteReceived(byte);
}

Bytes Of(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

class Kermit : public ::testing::Test {
protected:
    void SetUp() override
    {
        tessock::Kermit.Maxl = 64;
        TakeSent();
    }
    void TearDown() override { tessock::KermitFreeCopies(); }

    // Starts a transfer and answers every packet as a receiver would, the
    // Send-Init with the given MAXL; every packet sent, in order.
    std::vector<Packet> RunTransfer(const Bytes& data, uint8_t maxl = '~', const char* name = "FOO")
    {
        KHKermitSendFile(&Record, name, data.data(), static_cast<uint32_t>(data.size()));
        std::vector<Packet> all;
        for (int guard = 0; guard < 100000; ++guard) {
            const std::vector<Packet> packets = SplitPackets(TakeSent());
            if (packets.empty())
                break;
            all.insert(all.end(), packets.begin(), packets.end());
            const Packet& last = packets.back();
            Feed(last.Type == 'S' ? SendInitAck(maxl) : Ack(last.Sequence));
        }
        return all;
    }
};

std::string Types(const std::vector<Packet>& packets)
{
    std::string types;
    for (const Packet& p : packets)
        types += static_cast<char>(p.Type);
    return types;
}

// The data of the D packets, decoded with the 8th-bit prefix in use.
Bytes Received(const std::vector<Packet>& packets)
{
    Bytes data;
    for (const Packet& p : packets) {
        if (p.Type == 'D') {
            const Bytes bytes = test::kermit::Decode(p.Field, true);
            data.insert(data.end(), bytes.begin(), bytes.end());
        }
    }
    return data;
}

// Every byte value once the 7-bit 0x19 is left out: the sender's encoding
// gives 0x19 and "Y" the same two characters.
Bytes Distinguishable(size_t count)
{
    Bytes data;
    for (size_t i = 0; data.size() < count; ++i) {
        const uint8_t b = static_cast<uint8_t>(i * 37 + 11);
        if ((b & 0x7F) != 0x19)
            data.push_back(b);
    }
    return data;
}

TEST_F(Kermit, TheSendInitAndTheFileHeaderAreExactlyTheseBytes)
{
    KHKermitSendFile(&Record, "FOO", nullptr, 0);
    EXPECT_EQ(TakeSent(), (Bytes{0x01, 0x2B, 0x20, 0x53, 0x60, 0x2A, 0x20, 0x40, 0x2D, 0x23, 0x59, 0x33, 0x45, 0x0D}));
    Feed(SendInitAck('`'));
    EXPECT_EQ(TakeSent(), (Bytes{0x01, 0x28, 0x21, 0x46, 0x46, 0x4F, 0x4F, 0x23, 0x54, 0x52, 0x0D}));
}

TEST_F(Kermit, TheCrcOfTheBlockCheckIsKermitsCrc16)
{
    uint32_t crc = 0;
    for (char c : std::string("123456789"))
        crc = tessock::KermitCrcStep(crc, static_cast<uint8_t>(c));
    EXPECT_EQ(crc, 0x2189u);
}

TEST_F(Kermit, AFileGoesOutAsSendInitHeaderDataEndOfFileAndBreakWithSoundChecks)
{
    const Bytes data = Distinguishable(1000);
    const std::vector<Packet> packets = RunTransfer(data);
    const std::string types = Types(packets);
    ASSERT_GE(types.size(), 5u);
    EXPECT_EQ(types.substr(0, 2), "SF");
    EXPECT_EQ(types.substr(types.size() - 2), "ZB");
    EXPECT_EQ(std::count(types.begin(), types.end(), 'D'), static_cast<long>(types.size() - 4));
    for (size_t i = 0; i < packets.size(); ++i) {
        EXPECT_TRUE(packets[i].Sound) << "packet " << i;
        EXPECT_EQ(packets[i].Sequence, i % 64);
    }
    EXPECT_EQ(Received(packets), data);
    EXPECT_EQ(tessock::Kermit.DataCopy, nullptr) << "the copies go with the break";
    EXPECT_EQ(tessock::Kermit.NameCopy, nullptr);
}

TEST_F(Kermit, AnEmptyFileIsSendInitHeaderEndOfFileAndBreak)
{
    EXPECT_EQ(Types(RunTransfer({})), "SFZB");
    // Encoded bytes that just fill one field at MAXL 94: 78 characters.
    const Bytes full(78, 'a');
    const std::vector<Packet> packets = RunTransfer(full);
    EXPECT_EQ(Types(packets), "SFDZB");
    EXPECT_EQ(packets[2].Field.size(), 78u);
}

TEST_F(Kermit, TheEncodingFollowsTheByteExamples)
{
    const Bytes data{0x00, 0x7F, 0x23, 0x59, 0x81, 0xD9, 0xA3, 0x19, 0x41};
    const std::vector<Packet> packets = RunTransfer(data);
    ASSERT_EQ(Types(packets), "SFDZB");
    EXPECT_EQ(packets[2].Field, (Bytes{0x23, 0x40, 0x23, 0x3F, 0x23, 0x23, 0x23, 0x59, 0x59, 0x23, 0x41, 0x59, 0x23,
                                       0x59, 0x59, 0x23, 0x23, 0x23, 0x59, 0x41}));
}

TEST_F(Kermit, TheDataFieldStopsAtTheFirstByteBoundaryAtOrPastItsLimit)
{
    // MAXL 64: 48 characters; MAXL 94: 78.
    for (const auto& [maxl, limit] : {std::pair<uint8_t, size_t>{'`', 48}, {'~', 78}}) {
        SCOPED_TRACE(limit);
        std::vector<Packet> packets = RunTransfer(Bytes(200, 'a'), maxl);
        ASSERT_GE(packets.size(), 3u);
        EXPECT_EQ(packets[2].Field.size(), limit);
        EXPECT_EQ(packets[2].Len, limit + 5);
        // One plain character short of the limit, then a three-character
        // byte: it is not split, the field runs two past the limit.
        Bytes data(limit - 1, 'a');
        data.push_back(0x81);
        data.push_back('b');
        packets = RunTransfer(data, maxl);
        ASSERT_GE(packets.size(), 4u);
        EXPECT_EQ(packets[2].Field.size(), limit + 2);
        EXPECT_EQ(packets[3].Field, Of("b"));
    }
}

TEST_F(Kermit, AnswersThatStallTheTransfer)
{
    struct Case {
        const char* what;
        Bytes answer;
    };
    Bytes shortLen = Ack(1);
    shortLen[1] = ' ' + 4;
    Bytes controlLen = Ack(1);
    controlLen[1] = 0x1F;
    const Case cases[] = {
        {"a negative acknowledgement", Ack(1, "", 'N')},
        {"a wrong sequence number", Ack(2)},
        {"a LEN below the shortest answer", shortLen},
        {"a LEN below a printable character", controlLen},
        {"no SOH", Bytes{0x02}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KHKermitSendFile(&Record, "FOO", reinterpret_cast<const uint8_t*>("abc"), 3);
        Feed(SendInitAck());
        TakeSent();
        Feed(c.answer);
        Feed(Ack(1));
        Feed(Ack(2));
        EXPECT_TRUE(TakeSent().empty()) << "nothing more goes out";
    }
}

TEST_F(Kermit, SendInitAnswersThatStallTheTransfer)
{
    Bytes zeroMaxl = SendInitAck();
    zeroMaxl[4] = 0x00;
    Bytes longForm = SendInitAck();
    longForm[1] = '9';
    Bytes otherCheck = SendInitAck();
    otherCheck[11] = '1';
    for (const Bytes* answer : {&zeroMaxl, &longForm, &otherCheck}) {
        KHKermitSendFile(&Record, "FOO", nullptr, 0);
        TakeSent();
        Feed(*answer);
        if (answer == &zeroMaxl) {
            EXPECT_EQ(tessock::Kermit.Maxl, 64) << "the zero MAXL is not taken";
        }
        Feed(SendInitAck());
        EXPECT_TRUE(TakeSent().empty());
    }
}

TEST_F(Kermit, AnAnswerEndingInAnotherByteReleasesTheNextPacketThenStalls)
{
    KHKermitSendFile(&Record, "FOO", nullptr, 0);
    TakeSent();
    Bytes answer = SendInitAck();
    answer.back() = '\n';
    Feed(answer);
    const std::vector<Packet> header = SplitPackets(TakeSent());
    ASSERT_EQ(header.size(), 1u);
    EXPECT_EQ(header[0].Type, 'F');
    Feed(Ack(1));
    EXPECT_TRUE(TakeSent().empty());
}

TEST_F(Kermit, BeforeTheFirstTransferAndAfterABreakIsAcknowledgedNothingIsSent)
{
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            EXPECT_EQ(Types(RunTransfer(Of("xyz"))), "SFDZB");
        }
        for (uint32_t sequence = 0; sequence < 64; ++sequence)
            Feed(Ack(sequence));
        Feed(SendInitAck());
        EXPECT_TRUE(TakeSent().empty());
    }
}

TEST_F(Kermit, ASecondTransferAdvertisesThePeersMaxlAndStartsAtSequenceZero)
{
    RunTransfer(Of("first"), 'P'); // MAXL 48
    KHKermitSendFile(&Record, "BAR", nullptr, 0);
    const std::vector<Packet> init = SplitPackets(TakeSent());
    ASSERT_EQ(init.size(), 1u);
    EXPECT_EQ(init[0].Type, 'S');
    EXPECT_EQ(init[0].Sequence, 0u);
    EXPECT_EQ(init[0].Field.at(0), 'P');
    EXPECT_TRUE(init[0].Sound);
}

// Only a printable MAXL is taken, and none below 17; whatever the peer
// sent, the transfer runs to its end within the peer's packet length.
TEST_F(Kermit, EveryMaxlAPeerMaySendEndsInACompleteTransfer)
{
    const Bytes data = Distinguishable(300);
    for (uint32_t byte = 1; byte < 256; ++byte) {
        SCOPED_TRACE(byte);
        tessock::Kermit.Maxl = 64;
        const std::vector<Packet> packets = RunTransfer(data, static_cast<uint8_t>(byte));
        const uint32_t maxl = byte > 0x20 && byte < 0x7F ? std::max(byte - 32, 17u) : 64u;
        EXPECT_EQ(tessock::Kermit.Maxl, static_cast<int32_t>(maxl));
        const std::string types = Types(packets);
        ASSERT_GE(types.size(), 5u);
        EXPECT_EQ(types.substr(types.size() - 2), "ZB");
        EXPECT_EQ(Received(packets), data);
        for (const Packet& p : packets) {
            EXPECT_TRUE(p.Sound);
            EXPECT_LE(p.Len, p.Type == 'S' ? 11u : maxl);
        }
    }
}

TEST_F(Kermit, ANameTooLongForThePeersPacketsIsCut)
{
    const std::string name(200, 'N');
    const std::vector<Packet> packets = RunTransfer({}, '~', name.c_str());
    ASSERT_EQ(Types(packets), "SFZB");
    EXPECT_EQ(packets[1].Len, 94u);
    EXPECT_EQ(packets[1].Field, Bytes(89, 'N'));
    EXPECT_TRUE(packets[1].Sound);
}

TEST_F(Kermit, BadArgumentsStartNothingAndLeaveTheTransferUnderWay)
{
    KHKermitSendFile(&Record, "FOO", reinterpret_cast<const uint8_t*>("abc"), 3);
    Feed(SendInitAck());
    TakeSent();
    KHKermitSendFile(&Record, nullptr, reinterpret_cast<const uint8_t*>("abc"), 3);
    KHKermitSendFile(&Record, "FOO", nullptr, 5);
    EXPECT_TRUE(TakeSent().empty());
    Feed(Ack(1));
    const std::vector<Packet> data = SplitPackets(TakeSent());
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0].Type, 'D');
    EXPECT_EQ(data[0].Field, Of("abc"));
}

// What the library's unload does to a transfer under way.
TEST_F(Kermit, ReleasingTheCopiesEndsTheTransferUnderWay)
{
    KHKermitSendFile(&Record, "FOO", reinterpret_cast<const uint8_t*>("abc"), 3);
    Feed(SendInitAck());
    TakeSent();
    tessock::KermitFreeCopies();
    EXPECT_EQ(tessock::Kermit.NameCopy, nullptr);
    EXPECT_EQ(tessock::Kermit.DataCopy, nullptr);
    Feed(Ack(1));
    EXPECT_TRUE(TakeSent().empty());
}

// A receiver on a thread of its own answers each packet the moment its CR
// has gone out, while the sender that sent it may still be inside its
// call; the sender pauses after each CR to give the answer every chance to
// overtake it. Every transfer must still run to its end.
TEST_F(Kermit, AnswersRacingThePacketTheyAnswerNeverStallATransfer)
{
    struct Receiver {
        std::mutex Lock;
        std::condition_variable Wake;
        std::deque<uint8_t> Queue;
        bool Quit = false;
        Bytes Pending;
        std::atomic<int> Breaks{0};
    };
    static Receiver* receiver = nullptr;
    Receiver r;
    receiver = &r;
    auto send = [](uint32_t byte) -> int32_t {
        Record(byte);
        {
            std::lock_guard guard(receiver->Lock);
            receiver->Queue.push_back(static_cast<uint8_t>(byte));
        }
        receiver->Wake.notify_one();
        if (byte == 0x0D)
            std::this_thread::sleep_for(50us);
        return 1;
    };
    std::thread answering([&r] {
        for (;;) {
            uint8_t byte;
            {
                std::unique_lock lock(r.Lock);
                r.Wake.wait(lock, [&r] { return r.Quit || !r.Queue.empty(); });
                if (r.Quit)
                    return;
                byte = r.Queue.front();
                r.Queue.pop_front();
            }
            r.Pending.push_back(byte);
            if (byte != 0x0D)
                continue;
            const std::vector<Packet> packets = SplitPackets(r.Pending);
            r.Pending.clear();
            if (packets.size() != 1 || !packets[0].Sound)
                continue;
            const Packet& p = packets[0];
            Feed(p.Type == 'S' ? SendInitAck() : Ack(p.Sequence));
            if (p.Type == 'B')
                ++r.Breaks;
        }
    });
    constexpr int Transfers = 200;
    const Bytes data = Distinguishable(200);
    for (int i = 0; i < Transfers; ++i) {
        const int before = r.Breaks.load();
        KHKermitSendFile(+send, "FOO", data.data(), static_cast<uint32_t>(data.size()));
        if (!test::WaitUntil([&] { return r.Breaks.load() > before; }, 10s)) {
            ADD_FAILURE() << "transfer " << i << " stalled";
            break;
        }
        const std::vector<Packet> packets = SplitPackets(TakeSent());
        const std::string types = Types(packets);
        EXPECT_EQ(types.substr(0, 3), "SFD");
        EXPECT_EQ(types.substr(types.size() - 2), "ZB");
        EXPECT_EQ(Received(packets), data);
    }
    {
        std::lock_guard guard(r.Lock);
        r.Quit = true;
    }
    r.Wake.notify_one();
    answering.join();
}

// With no sender of its own the transfer goes through the serial link into
// the calculator: a program there sends every byte straight back.
TEST_F(Kermit, TheDefaultSenderGoesThroughTheSerialLink)
{
    test::Calculator m;
    m.load(test::DrawAndEcho());
    KVRun();
    // Whatever an earlier test left in the receive register or the pipe
    // comes back first: let it, and drop it.
    uint8_t stale[64];
    test::ReadFor(KHSerialGetHandle(), stale, sizeof stale, 200ms);
    KHKermitSendFile(nullptr, "FOO", nullptr, 0);
    uint8_t echoed[14] = {};
    EXPECT_EQ(test::ReadFor(KHSerialGetHandle(), echoed, sizeof echoed, 5s), sizeof echoed);
    KVStop();
    EXPECT_EQ(Bytes(echoed, echoed + 14),
              (Bytes{0x01, 0x2B, 0x20, 0x53, 0x60, 0x2A, 0x20, 0x40, 0x2D, 0x23, 0x59, 0x33, 0x45, 0x0D}));
}

} // namespace
