// A byte sender for the library's senders that keeps what they send, from
// whichever thread sends it.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace test {

inline std::mutex RecordedLock;
inline std::vector<uint8_t> Recorded;

inline int32_t Record(uint32_t byte)
{
    std::lock_guard guard(RecordedLock);
    Recorded.push_back(static_cast<uint8_t>(byte));
    return 1;
}

// What was sent since the last call.
inline std::vector<uint8_t> TakeRecorded()
{
    std::lock_guard guard(RecordedLock);
    std::vector<uint8_t> taken;
    taken.swap(Recorded);
    return taken;
}

} // namespace test
