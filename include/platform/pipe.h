// An anonymous pipe whose reader blocks and whose writer never waits: the
// writer may run where waiting would stall other threads, so a byte that
// finds the pipe full is refused rather than queued.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

class Pipe {
public:
    Pipe() = default;
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // Creates both ends, closed on exec, the write end non-blocking. False
    // (and nothing open) when the system refuses.
    bool Open();
    // Closes the write end first, so that a reader blocked on the read end
    // sees the end of the data instead of waiting for ever.
    void Close();

    bool IsOpen() const { return WriteEnd >= 0; }
    // -1 while the pipe is not open.
    int ReadDescriptor() const { return ReadEnd; }

    // Writes the bytes at once or not at all (up to the system's atomic pipe
    // write size, 4096 bytes or more); false when they do not fit or the
    // pipe is not open.
    bool TryWrite(const void* data, size_t count);

private:
    int ReadEnd = -1;
    int WriteEnd = -1;
};

} // namespace platform
