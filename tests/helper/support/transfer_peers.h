// Whole transfers through the library's exports to the real receivers on a
// pseudo-terminal: G-Kermit for Kermit, rx of lrzsz for XModem. The tests
// and the benchmark share them.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace test {

// Pseudo-random bytes, the same for the same count. With sevenBitNoY only
// bytes below 0x80 other than "Y": both Kermit sides announce "Y" for the
// 8th-bit prefix, so none is agreed, and G-Kermit reads "Y" as plain data
// (the 8-bit encoding is the unit tests' to check).
std::vector<uint8_t> FileData(size_t count, bool sevenBitNoY);

struct PeerRun {
    bool Started = false;  // the receiver ran (it is installed)
    int ExitStatus = -1;   // its exit status, -1 when it had to be killed
    std::vector<uint8_t> File; // what it wrote to its disk as "FOO"
    std::string Error;
    double Seconds = 0;    // from the transfer's start to the receiver's end
};

// Sends the data as "FOO" with KHKermitSendFile to gkermit -r -i.
PeerRun SendToGKermit(const std::vector<uint8_t>& data, std::chrono::seconds timeout);

// Hands a malloc'ed copy of the data to KHXModemSendFile for rx -b (its
// checksum mode); each answer of rx reaches the library once rx waits
// for the reply, its input emptied.
PeerRun SendToRx(const std::vector<uint8_t>& data, std::chrono::seconds timeout);

// The pseudo-terminal alone, to a receiver that reads count bytes and
// ends (dd): bytes written in chunks, or one per write as the senders do.
PeerRun SendRaw(size_t count, bool bytePerWrite, std::chrono::seconds timeout);

} // namespace test
