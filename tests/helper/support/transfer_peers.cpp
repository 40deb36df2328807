#include "tests/helper/support/transfer_peers.h"

#include <cstdlib>
#include <cstring>

#include "tessock.h"
#include "tests/helper/support/kermit_model.h"

namespace test {

namespace {

int32_t SendToPeer(uint32_t byte)
{
    const uint8_t b = static_cast<uint8_t>(byte);
    return WriteToPeer(&b, 1) ? 1 : 0;
}

// G-Kermit answers the Send-Init with its long form, which the sender does not accept: it takes exactly the
// eight fields it sent. That one answer is passed on cut to eight fields, LEN and check recomputed.
struct EightFieldAnswer {
    void operator()(uint8_t byte)
    {
        if (Passed)
            return KHKermitOnByteReceived(byte);
        Held.push_back(byte);
        if (byte != 0x0D)
            return;
        Passed = true;
        if (Held.size() >= 14 && Held[0] == 0x01 && Held[3] == 'Y') { // SOH LEN SEQ TYPE, eight fields or more
            std::vector<uint8_t> checked{'+', Held[2], Held[3]};
            for (size_t i = 4; i < 12; ++i)
                checked.push_back(Held[i]);
            Held = kermit::Frame(checked, kermit::Check1(checked));
        }
        for (uint8_t b : Held)
            KHKermitOnByteReceived(b);
    }
    bool Passed = false;
    std::vector<uint8_t> Held;
};

} // namespace

std::vector<uint8_t> FileData(size_t count, bool sevenBitNoY)
{
    std::vector<uint8_t> data;
    for (uint32_t seed = 0x2545F491u + static_cast<uint32_t>(count); data.size() < count;) {
        seed = seed * 1103515245u + 12345u;
        const uint8_t b = static_cast<uint8_t>(seed >> 16);
        if (!sevenBitNoY || (b < 0x80 && b != 'Y'))
            data.push_back(b);
    }
    return data;
}

PeerRun SendToGKermit(const std::vector<uint8_t>& data, std::chrono::seconds timeout)
{
    EightFieldAnswer answer;
    return RunPeer({"gkermit", "-q", "-r", "-i", "-P"}, std::ref(answer), [&] {
        KHKermitSendFile(&SendToPeer, "FOO", data.data(), static_cast<uint32_t>(data.size()));
    }, false, false, timeout);
}

PeerRun SendToRx(const std::vector<uint8_t>& data, std::chrono::seconds timeout)
{
    const auto begin = [&] {
        // The library takes the buffer over and frees it.
        uint8_t* buffer = static_cast<uint8_t*>(std::malloc(data.size() + 1));
        if (buffer && !data.empty())
            std::memcpy(buffer, data.data(), data.size());
        KHXModemSendFile(&SendToPeer, buffer, static_cast<uint32_t>(data.size()));
    };
    PeerRun run = RunPeer({"rx", "-b", "-q", "FOO"}, [](uint8_t byte) { KHXModemOnByteReceived(byte); }, begin, true,
                          true, timeout);
    // rx flushes its output as it ends, so its answer to the end of transmission may never arrive.
    KHXModemSendFile(nullptr, nullptr, 0);
    return run;
}

PeerRun SendRaw(size_t count, bool bytePerWrite, std::chrono::seconds timeout)
{
    const std::vector<uint8_t> bytes(count, 0x55);
    const size_t step = bytePerWrite ? 1 : count;
    const auto write = [&] {
        for (size_t at = 0; at < count; at += step)
            WriteToPeer(&bytes[at], step);
    };
    PeerRun run = RunPeer({"dd", "of=/dev/null", "bs=" + std::to_string(count), "count=1", "iflag=fullblock",
                           "status=none"}, [](uint8_t) {}, write, false, false, timeout);
    run.Error.clear(); // dd leaves no file
    return run;
}

} // namespace test
