// The serial reader thread on a pipe of its own: every byte in order to the
// console while the mode is 0 and none in a mode beyond 2, and an end on
// request while it waits, also once the pipe has closed.
#include <QElapsedTimer>
#include <QThread>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

#include "ui/serial_reader.h"

namespace pelrin {
namespace {

double ProcessorMs()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

TEST(SerialReader, RoutesByTheModeInOrderAndEndsWhileWaitingOnAClosedPipe)
{
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    // Closed after the reader has ended.
    const std::unique_ptr<int, void (*)(int*)> readEnd(&ends[0], [](int* fd) { close(*fd); });
    std::atomic<int32_t> mode{0};
    std::mutex lock;
    std::vector<uint8_t> shown;
    SerialReaderThread reader(ends[0], mode, [&](uint8_t byte) {
        std::lock_guard<std::mutex> hold(lock);
        shown.push_back(byte);
    });
    const auto send = [&](std::vector<uint8_t> bytes, uint64_t routed) {
        EXPECT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        QElapsedTimer clock;
        clock.start();
        while (reader.Routed() < routed && clock.elapsed() < 10000)
            QThread::msleep(1);
        EXPECT_EQ(reader.Routed(), routed);
    };
    std::vector<uint8_t> many(10000); // more than one read's worth
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<uint8_t>(i * 31 + 7);
    send(many, many.size());
    mode = 3;
    send({'x', 'y'}, many.size() + 2);
    EXPECT_EQ(RouteFor(-1), ByteRoute::Dropped);
    {
        std::lock_guard<std::mutex> hold(lock);
        EXPECT_EQ(shown, many);
    }
    // The library closed its pipe: waiting on it again would wake at once,
    // for ever, and keep a processor busy.
    close(ends[1]);
    const double before = ProcessorMs();
    QThread::msleep(300);
    EXPECT_LT(ProcessorMs() - before, 100.0);
}

} // namespace
} // namespace pelrin
