// How fast the helper library's senders move a file to real receivers over
// a pseudo-terminal, measured as a client sees them: through the exports
// of libtessock.so only.
//
//   1. the pseudo-terminal alone: 131072 bytes to a reader (dd) that takes
//      them and ends, written in one go and one byte per write as the
//      senders write;
//   2. KHKermitSendFile to G-Kermit (gkermit -r -i);
//   3. KHXModemSendFile to rx of lrzsz in its checksum mode;
//   4. the other way: 100,000 bytes that a program on the calculator sends
//      as fast as its transmitter takes them, to a reader that is held up
//      for half a second after its first 20,000 bytes, as a reader is now
//      and then on a loaded machine: the bytes that never reach it.
//
// Each figure is the median of --runs runs (default 3): the time from the
// first byte to the receiver's end, and the file's bytes per second. The
// receiver's start is not counted; rx's own wait of about a second after
// the end of transmission is (it is part of a transfer's time), and the
// empty-file lines show that fixed cost apart.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/helper/support/burst_sender.h"
#include "tests/helper/support/transfer_peers.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t FileBytes = 131072;
constexpr size_t BurstBytes = 100000;

size_t BurstLost(std::chrono::milliseconds held)
{
    test::Calculator m;
    if (!test::LoadBurstSender(m, BurstBytes))
        return BurstBytes;
    std::vector<uint8_t> bytes(BurstBytes);
    const int pipe = KHSerialGetHandle();
    KVRun();
    size_t got = test::ReadFor(pipe, bytes.data(), 20000, 10s);
    std::this_thread::sleep_for(held);
    got += test::ReadFor(pipe, bytes.data() + got, BurstBytes - got, 5s);
    KVStop();
    return BurstBytes - got;
}

void PrintBurstLost()
{
    const size_t lost = BurstLost(500ms);
    std::printf("%-34s %9zu bytes lost\nBENCH burst_reader_held_500ms_lost_bytes=%zu\n",
                "burst of 100000, reader held 0.5 s", lost, lost);
}

template <typename Transfer>
bool Measure(const char* label, const char* key, int runs, Transfer transfer, size_t bytes = FileBytes)
{
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        const test::PeerRun run = transfer();
        if (!run.Started || run.ExitStatus != 0) {
            std::printf("%-34s failed: %s (exit %d)\n", label, run.Error.c_str(), run.ExitStatus);
            return false;
        }
        seconds.push_back(run.Seconds);
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const double rate = static_cast<double>(bytes) / median;
    std::printf("%-34s %9.3f s %12.0f bytes/s\n", label, median, rate);
    std::printf("BENCH %s_seconds=%.4f\nBENCH %s_bytes_per_second=%.0f\n", key, median, key, rate);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    bool burstOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc && std::strcmp(argv[i + 1], "burst") == 0) {
            burstOnly = true;
            ++i;
        } else {
            std::printf("usage: %s [--runs N] [--only burst]\n", argv[0]);
            return 2;
        }
    }
    if (burstOnly) {
        PrintBurstLost();
        return 0;
    }
    // The same file to both receivers, as the Kermit receiver reads it.
    const std::vector<uint8_t> file = test::FileData(FileBytes, true);
    std::printf("%zu bytes, median of %d runs\n", FileBytes, runs);
    bool ok = true;
    ok &= Measure("pty alone, one write", "pty_bulk", runs, [] { return test::SendRaw(FileBytes, false, 60s); });
    ok &= Measure("pty alone, one byte per write", "pty_bytewise", runs,
                  [] { return test::SendRaw(FileBytes, true, 60s); });
    ok &= Measure("Kermit to G-Kermit", "kermit_gkermit", runs, [&] {
        test::PeerRun run = test::SendToGKermit(file, 120s);
        if (run.File != file)
            run.ExitStatus = -2;
        return run;
    });
    ok &= Measure("XModem to rx", "xmodem_rx", runs, [&] {
        test::PeerRun run = test::SendToRx(file, 120s);
        if (run.File != file) // 131072 is a whole number of blocks: no filler
            run.ExitStatus = -2;
        return run;
    });
    // What a transfer costs whatever its size: the receiver's answers to
    // the start and the end (rx waits about a second after the end).
    ok &= Measure("Kermit to G-Kermit, empty file", "kermit_gkermit_empty", runs,
                  [] { return test::SendToGKermit({}, 60s); }, 0);
    ok &= Measure("XModem to rx, empty file", "xmodem_rx_empty", runs, [] { return test::SendToRx({}, 60s); }, 0);
    PrintBurstLost();
    return ok ? 0 : 1;
}
