// The bytes of a file transfer on their way to the calculator. The Kermit
// and XModem senders hand each byte to TransferByteSender, which queues it
// here and returns at once; a thread of its own passes the bytes to the
// serial link in order, each waiting, as a transfer's bytes always have, up
// to a second for the calculator to take the one before it (a byte whose
// wait runs out is not sent). So neither the GUI thread, which starts a
// transfer, nor the serial reader thread, which answers the receiver, ever
// waits on the calculator, and a transfer stops the moment it is cancelled.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace pelrin {

class TransferWriter {
public:
    // Starts the thread; the writer is the one TransferByteSender queues to
    // until it is destroyed.
    TransferWriter();
    // Cancels and waits for the thread. Destroy it only once nothing can
    // send through it any more (the serial reader thread has ended).
    ~TransferWriter();
    TransferWriter(const TransferWriter&) = delete;
    TransferWriter& operator=(const TransferWriter&) = delete;

    // The writer TransferByteSender queues to, or null.
    static TransferWriter* Current();

    // Never waits.
    void Queue(uint8_t byte);
    // Drops every byte not sent yet; one waiting for the link gives up
    // within a few milliseconds.
    void Cancel();
    // The bytes queued and not yet sent or given up.
    size_t Waiting() const;

private:
    void Run();
    void Send(uint8_t byte, uint64_t cancels);
    bool Cancelled(uint64_t cancels) const;

    mutable std::mutex Lock;
    std::condition_variable Wake;
    std::deque<uint8_t> Bytes;
    uint64_t Cancels = 0;
    bool Quit = false;
    bool Sending = false;
    std::thread Thread;
};

// The byte sender both file transfers are given: the byte joins the
// current writer's queue (1), or is not sent when there is none (0).
int32_t TransferByteSender(uint32_t byte);

} // namespace pelrin
