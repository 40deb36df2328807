// The serial reader thread: everything the calculator sends arrives on the
// helper library's pipe, and this thread hands each byte to whoever owns
// the link at that moment, as TransferMode says: the console, the Kermit
// receiver or the XModem receiver. The Kermit and XModem senders queue
// their next packet or block from inside those calls, on this thread, for
// the transfer writer (ui/transfer_writer.h): this thread never waits for
// the calculator, and so always drains the pipe.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace pelrin {

enum class ByteRoute { Console, Kermit, XModem, Dropped };

// 0 console, 1 Kermit, 2 XModem; any other mode drops the byte.
ByteRoute RouteFor(int32_t transferMode);

class SerialReaderThread {
public:
    using ConsoleSink = std::function<void(uint8_t)>;

    // Starts reading descriptor (blocking reads; -1: nothing to read) and
    // routing each byte by transferMode as it stands when the byte is
    // handed on. transferMode must outlive the thread; toConsole is called
    // on the thread.
    SerialReaderThread(int descriptor, const std::atomic<int32_t>& transferMode, ConsoleSink toConsole);
    // Ends the thread and waits for it: once this returns no byte is routed.
    ~SerialReaderThread();
    SerialReaderThread(const SerialReaderThread&) = delete;
    SerialReaderThread& operator=(const SerialReaderThread&) = delete;

    // How many bytes have been handed on (or dropped) so far.
    uint64_t Routed() const { return RoutedBytes.load(std::memory_order_acquire); }

private:
    void Run();
    void Route(uint8_t byte);

    const int Descriptor;
    const std::atomic<int32_t>& TransferMode;
    const ConsoleSink ToConsole;
    // Written to end the thread: the wait watches it beside the pipe.
    int StopEvent = -1;
    std::atomic<uint64_t> RoutedBytes{0};
    std::thread Thread;
};

} // namespace pelrin
