#include "tests/helper/support/transfer_peers.h"

#include <cstdlib>
#include <cstring>

#include "tessock.h"
#include "tests/helper/support/kermit_model.h"
#include "tests/helper/support/pty_peer.h"

namespace test {

namespace {

using Clock = std::chrono::steady_clock;

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
        std::vector<uint8_t> answer = Held;
        // SOH LEN SEQ TYPE and at least eight fields.
        if (Held.size() >= 14 && Held[0] == 0x01 && Held[3] == 'Y') {
            std::vector<uint8_t> checked{'+', Held[2], Held[3]};
            checked.insert(checked.end(), Held.begin() + 4, Held.begin() + 12);
            answer = kermit::Frame(checked, {kermit::Check1(checked)});
        }
        for (uint8_t b : answer)
            KHKermitOnByteReceived(b);
    }

private:
    bool Passed = false;
    std::vector<uint8_t> Held;
};

// Runs the receiver, and begin before or after it starts: an XModem
// transfer must be armed before the receiver's first byte can come, while
// Kermit's Send-Init needs the line open. The time runs from whichever
// comes first.
enum class Order { BeginFirst, PeerFirst };

template <typename Begin>
PeerRun Run(PtyPeer& peer, const std::vector<std::string>& command, std::function<void(uint8_t)> deliver,
            std::chrono::seconds timeout, const char* file, Order order, Begin begin)
{
    PeerRun run;
    SenderPeer = &peer;
    const Clock::time_point start = Clock::now();
    if (order == Order::BeginFirst)
        begin();
    run.Started = peer.start(command, std::move(deliver));
    if (run.Started) {
        if (order == Order::PeerFirst)
            begin();
        run.ExitStatus = peer.wait(timeout);
        run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    SenderPeer = nullptr;
    if (!run.Started) {
        run.Error = peer.Error;
    } else if (file) {
        run.File = peer.file(file);
        run.Error = peer.Error;
    }
    return run;
}

} // namespace

std::vector<uint8_t> FileData(size_t count, bool sevenBitNoY)
{
    std::vector<uint8_t> data;
    data.reserve(count);
    uint32_t seed = 0x2545F491u + static_cast<uint32_t>(count);
    while (data.size() < count) {
        seed = seed * 1103515245u + 12345u;
        const uint8_t b = static_cast<uint8_t>(seed >> 16);
        if (!sevenBitNoY)
            data.push_back(b);
        else if (b < 0x80 && b != 'Y')
            data.push_back(b);
    }
    return data;
}

PeerRun SendToGKermit(const std::vector<uint8_t>& data, std::chrono::seconds timeout)
{
    PtyPeer peer;
    EightFieldAnswer answer;
    return Run(peer, {"gkermit", "-q", "-r", "-i", "-P"}, std::ref(answer), timeout, "FOO", Order::PeerFirst, [&] {
        KHKermitSendFile(&SendToPeer, "FOO", data.data(), static_cast<uint32_t>(data.size()));
    });
}

PeerRun SendToRx(const std::vector<uint8_t>& data, std::chrono::seconds timeout)
{
    PtyPeer peer;
    peer.AnswerWhenReading = true;
    PeerRun run = Run(peer, {"rx", "-b", "-q", "FOO"}, [](uint8_t byte) { KHXModemOnByteReceived(byte); }, timeout,
                      "FOO", Order::BeginFirst, [&] {
                          // The library takes the buffer over and frees it.
                          uint8_t* buffer = static_cast<uint8_t*>(std::malloc(data.size() + 1));
                          if (buffer && !data.empty())
                              std::memcpy(buffer, data.data(), data.size());
                          KHXModemSendFile(&SendToPeer, buffer, static_cast<uint32_t>(data.size()));
                      });
    // rx flushes its output as it ends, so its answer to the end of
    // transmission may never arrive: the buffer is released here when it
    // did not.
    KHXModemSendFile(nullptr, nullptr, 0);
    return run;
}

PeerRun SendRaw(size_t count, bool bytePerWrite, std::chrono::seconds timeout)
{
    PtyPeer peer;
    const std::string block = "bs=" + std::to_string(count);
    return Run(peer, {"dd", "of=/dev/null", block, "count=1", "iflag=fullblock", "status=none"}, [](uint8_t) {}, timeout, nullptr,
               Order::PeerFirst, [&] {
                   std::vector<uint8_t> bytes(count, 0x55);
                   if (bytePerWrite) {
                       for (uint8_t b : bytes)
                           peer.write(b);
                   } else {
                       peer.write(bytes.data(), bytes.size());
                   }
               });
}

} // namespace test
