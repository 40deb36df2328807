// Whole transfers through the library's exports to the real receivers on a
// pseudo-terminal: G-Kermit for Kermit, rx of lrzsz for XModem. The tests
// and the benchmark share them.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "tests/helper/support/pty_peer.h"

namespace test {

// Pseudo-random bytes, the same for the same count. With sevenBitNoY only
// bytes below 0x80 other than "Y": both Kermit sides announce "Y" for the
// 8th-bit prefix, so none is agreed, and G-Kermit reads "Y" as plain data.
std::vector<uint8_t> FileData(size_t count, bool sevenBitNoY);


// The data as "FOO" with KHKermitSendFile to gkermit -r -i.
PeerRun SendToGKermit(const std::vector<uint8_t>& data, std::chrono::seconds timeout);
// A malloc'ed copy of the data to KHXModemSendFile for rx -b (checksum mode).
PeerRun SendToRx(const std::vector<uint8_t>& data, std::chrono::seconds timeout);
// The pseudo-terminal alone, to dd reading count bytes: in one write, or
// one byte per write as the senders write.
PeerRun SendRaw(size_t count, bool bytePerWrite, std::chrono::seconds timeout);

} // namespace test
