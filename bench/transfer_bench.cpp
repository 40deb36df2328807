// How fast the helper library's senders move a file to real receivers over
// a pseudo-terminal, measured as a client sees them: through the exports
// of libtessock.so only.
//
//   1. the pseudo-terminal alone: 131072 bytes to a reader (dd) that takes
//      them and ends, written in one go and one byte per write as the
//      senders write;
//   2. KHKermitSendFile to G-Kermit (gkermit -r -i);
//   3. KHXModemSendFile to rx of lrzsz in its checksum mode.
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
#include <vector>

#include "tests/helper/support/transfer_peers.h"

namespace {

using namespace std::chrono_literals;

constexpr size_t FileBytes = 131072;

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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::printf("usage: %s [--runs N]\n", argv[0]);
            return 2;
        }
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
    return ok ? 0 : 1;
}
