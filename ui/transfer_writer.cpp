#include "ui/transfer_writer.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "tessock.h"

namespace pelrin {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long each byte may wait for the calculator to take the one before it.
constexpr milliseconds ByteTimeout{1000};
// The wait is made in slices this long, so that a cancel is seen promptly.
constexpr milliseconds WaitSlice{10};

std::atomic<TransferWriter*> CurrentWriter{nullptr};

} // namespace

TransferWriter::TransferWriter() : Thread([this] { Run(); })
{
    CurrentWriter.store(this, std::memory_order_release);
}

TransferWriter::~TransferWriter()
{
    TransferWriter* self = this;
    CurrentWriter.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    {
        std::lock_guard guard(Lock);
        Quit = true;
        ++Cancels;
        Bytes.clear();
    }
    Wake.notify_all();
    Thread.join();
}

TransferWriter* TransferWriter::Current()
{
    return CurrentWriter.load(std::memory_order_acquire);
}

void TransferWriter::Queue(uint8_t byte)
{
    {
        std::lock_guard guard(Lock);
        Bytes.push_back(byte);
    }
    Wake.notify_all();
}

void TransferWriter::Cancel()
{
    std::lock_guard guard(Lock);
    ++Cancels;
    Bytes.clear();
}

size_t TransferWriter::Waiting() const
{
    std::lock_guard guard(Lock);
    return Bytes.size() + (Sending ? 1 : 0);
}

bool TransferWriter::Cancelled(uint64_t cancels) const
{
    std::lock_guard guard(Lock);
    return Cancels != cancels;
}

void TransferWriter::Run()
{
    for (;;) {
        uint8_t byte = 0;
        uint64_t cancels = 0;
        {
            std::unique_lock lock(Lock);
            Sending = false;
            Wake.wait(lock, [this] { return Quit || !Bytes.empty(); });
            if (Quit)
                return;
            byte = Bytes.front();
            Bytes.pop_front();
            cancels = Cancels;
            Sending = true;
        }
        Send(byte, cancels);
    }
}

void TransferWriter::Send(uint8_t byte, uint64_t cancels)
{
    const Clock::time_point start = Clock::now();
    for (;;) {
        const milliseconds waited = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
        if (waited >= ByteTimeout || Cancelled(cancels))
            return;
        const milliseconds slice = std::min(WaitSlice, ByteTimeout - waited);
        const Clock::time_point before = Clock::now();
        if (KHSerialSendByte(byte, static_cast<uint32_t>(slice.count())))
            return;
        // A wait that ran out took its whole slice; a byte the engine
        // refused comes back at once, and is not offered again.
        if (Clock::now() - before < slice)
            return;
    }
}

int32_t TransferByteSender(uint32_t byte)
{
    TransferWriter* writer = TransferWriter::Current();
    if (!writer)
        return 0;
    writer->Queue(static_cast<uint8_t>(byte));
    return 1;
}

} // namespace pelrin
