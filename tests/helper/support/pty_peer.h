// A real program run on a pseudo-terminal, in a directory of its own, as
// the far end of a serial line: what is written goes to its standard
// input, and a reader thread hands every byte it writes to a callback.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace test {

class PtyPeer {
public:
    PtyPeer() = default;
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;
    // Kills a peer still running, ends the reader and removes the directory.
    ~PtyPeer();

    // Starts the program (found on PATH) with its arguments on a raw
    // pseudo-terminal; every byte it writes goes to deliver, on the reader
    // thread. False, with the reason in Error, when it cannot start: a
    // missing program among them.
    bool start(const std::vector<std::string>& command, std::function<void(uint8_t)> deliver);

    // Blocking writes to the peer; false once it has gone.
    bool write(const uint8_t* bytes, size_t count);
    bool write(uint8_t byte) { return write(&byte, 1); }

    // Waits for the peer to end; its exit status, or -1 when it did not end
    // in time (it is then killed) or was killed by a signal.
    int wait(std::chrono::milliseconds timeout);

    // The bytes of a file the peer left in its directory; Error is set
    // when there is none.
    std::vector<uint8_t> file(const std::string& name);
    bool hasFile(const std::string& name) const;

    std::string Error;
    // For a peer that empties its input right after each answer (rx does):
    // a reply sent back within microseconds, as over a pseudo-terminal,
    // would lose its head to that flush, where a serial line's time for the
    // answer byte leaves room for it. With this set the reader hands an
    // answer on only once the peer sleeps in its next read of the line, or
    // after ReadingWait.
    bool AnswerWhenReading = false;
    std::chrono::milliseconds ReadingWait{200};

private:
    void readAll(std::function<void(uint8_t)> deliver);
    bool peerIsReading() const;
    void kill();

    int Master = -1;
    // Held open here too, so that the peer's end does not hang the line up
    // and drop what it wrote last before the reader has it.
    int Slave = -1;
    pid_t Child = -1; // until the peer is reaped
    pid_t Spawned = -1; // set before the reader starts, for the reader
    std::atomic<bool> Exited{false};
    std::string Directory;
    std::thread Reader;
};

// The program's full path on PATH, or empty.
std::string FindProgram(const std::string& name);

// A byte sender for the library's senders: writes to the peer set here.
inline PtyPeer* SenderPeer = nullptr;
inline int32_t SendToPeer(uint32_t byte)
{
    return SenderPeer && SenderPeer->write(static_cast<uint8_t>(byte)) ? 1 : 0;
}

} // namespace test
