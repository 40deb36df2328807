#include "ui/serial_reader.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "tessock.h"

namespace pelrin {

ByteRoute RouteFor(int32_t transferMode)
{
    switch (transferMode) {
    case 0:
        return ByteRoute::Console;
    case 1:
        return ByteRoute::Kermit;
    case 2:
        return ByteRoute::XModem;
    default:
        return ByteRoute::Dropped;
    }
}

SerialReaderThread::SerialReaderThread(int descriptor, const std::atomic<int32_t>& transferMode,
                                       ConsoleSink toConsole)
    : Descriptor(descriptor), TransferMode(transferMode), ToConsole(std::move(toConsole)),
      StopEvent(eventfd(0, EFD_CLOEXEC))
{
    Thread = std::thread([this] { Run(); });
}

SerialReaderThread::~SerialReaderThread()
{
    const uint64_t one = 1;
    while (StopEvent >= 0 && write(StopEvent, &one, sizeof one) < 0 && errno == EINTR) {
    }
    Thread.join();
    if (StopEvent >= 0)
        close(StopEvent);
}

void SerialReaderThread::Route(uint8_t byte)
{
    switch (RouteFor(TransferMode.load(std::memory_order_acquire))) {
    case ByteRoute::Console:
        if (ToConsole)
            ToConsole(byte);
        break;
    case ByteRoute::Kermit:
        KHKermitOnByteReceived(byte);
        break;
    case ByteRoute::XModem:
        KHXModemOnByteReceived(byte);
        break;
    case ByteRoute::Dropped:
        break;
    }
    RoutedBytes.fetch_add(1, std::memory_order_release);
}

void SerialReaderThread::Run()
{
    // Without a way to be told to stop the thread could never be waited
    // for; it then ends at once.
    if (StopEvent < 0)
        return;
    bool pipeOpen = Descriptor >= 0;
    for (;;) {
        pollfd waits[2] = {{StopEvent, POLLIN, 0}, {pipeOpen ? Descriptor : -1, POLLIN, 0}};
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (waits[0].revents)
            return;
        if (!waits[1].revents)
            continue;
        // What is there is taken at once, then routed byte by byte, each by
        // the mode of its own moment.
        uint8_t bytes[4096];
        const ssize_t got = read(Descriptor, bytes, sizeof bytes);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0) {
            // The pipe is gone (the library was unloaded): waiting on it
            // again would wake at once, for ever.
            pipeOpen = false;
            continue;
        }
        for (ssize_t i = 0; i < got; ++i)
            Route(bytes[i]);
    }
}

} // namespace pelrin
