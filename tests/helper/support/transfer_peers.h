// Whole transfers through the library's exports to real receivers on a pseudo-terminal, as the far end of a
// serial line: G-Kermit for Kermit, rx of lrzsz for XModem. The tests and the benchmark share them.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace test {

struct PeerRun {
    bool Started = false;      // the receiver ran (it is installed)
    int ExitStatus = -1;       // -1 when it had to be killed
    std::vector<uint8_t> File; // what it wrote as "FOO"
    std::string Error;
    double Seconds = 0; // from the transfer's start to the receiver's end
};

// Pseudo-random bytes, the same for the same count. With sevenBitNoY only bytes below 0x80 other than "Y":
// both Kermit sides announce "Y" for the 8th-bit prefix, so none is agreed, and G-Kermit reads "Y" as data.
std::vector<uint8_t> FileData(size_t count, bool sevenBitNoY);

// "FOO" with KHKermitSendFile to gkermit -r; a malloc'ed copy with KHXModemSendFile to rx -b (checksum mode);
// the pseudo-terminal alone to dd, count bytes in one write or one a write.
PeerRun SendToGKermit(const std::vector<uint8_t>& data, std::chrono::seconds timeout);
PeerRun SendToRx(const std::vector<uint8_t>& data, std::chrono::seconds timeout);
PeerRun SendRaw(size_t count, bool bytePerWrite, std::chrono::seconds timeout);

// Runs the program (found on PATH) on a raw pseudo-terminal until it ends or the time is up; every byte it
// writes goes to deliver, on a reader thread. begin starts the transfer, before the peer starts or after.
// rx empties its input right after each answer: a reply sent back within microseconds, as over a
// pseudo-terminal, would lose its head to that flush, where a serial line's time for the answer byte leaves
// room for it. answerWhenReading hands each answer on only once the peer sleeps in its next read (or 200 ms).
PeerRun RunPeer(const std::vector<std::string>& command, const std::function<void(uint8_t)>& deliver,
                const std::function<void()>& begin, bool beginFirst, bool answerWhenReading,
                std::chrono::seconds timeout);
bool WriteToPeer(const uint8_t* bytes, size_t count); // blocking; false once the peer has gone

} // namespace test
