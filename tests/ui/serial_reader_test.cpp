// The serial reader thread on a pipe of its own: every byte in order to the
// console while the mode is 0, none while it is another mode than 0, 1 or
// 2, and an end on request whether it waits or the pipe has closed.
#include <QElapsedTimer>
#include <QThread>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

#include "ui/serial_reader.h"

namespace pelrin {
namespace {

class Reader : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(pipe2(Ends, O_CLOEXEC), 0); }
    void TearDown() override
    {
        for (int end : Ends)
            if (end >= 0)
                close(end);
    }
    void Send(const std::vector<uint8_t>& bytes) { ASSERT_EQ(write(Ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }
    std::vector<uint8_t> Console()
    {
        std::lock_guard<std::mutex> hold(Lock);
        return Shown;
    }
    SerialReaderThread::ConsoleSink Sink()
    {
        return [this](uint8_t byte) {
            std::lock_guard<std::mutex> hold(Lock);
            Shown.push_back(byte);
        };
    }
    static bool WaitForRouted(const SerialReaderThread& reader, uint64_t count)
    {
        QElapsedTimer clock;
        clock.start();
        while (reader.Routed() < count && clock.elapsed() < 10000)
            QThread::msleep(1);
        return reader.Routed() == count;
    }

    int Ends[2] = {-1, -1};
    std::atomic<int32_t> Mode{0};
    std::mutex Lock;
    std::vector<uint8_t> Shown;
};

TEST_F(Reader, EachByteGoesToTheConsoleInOrderWhileTheModeIsZeroAndOtherModesDropIt)
{
    SerialReaderThread reader(Ends[0], Mode, Sink());
    Send({'a', 'b', 'c'});
    ASSERT_TRUE(WaitForRouted(reader, 3));
    for (int32_t mode : {3, -1, 0x7FFFFFFF}) {
        Mode = mode;
        Send({'x', 0});
    }
    ASSERT_TRUE(WaitForRouted(reader, 9));
    EXPECT_EQ(Console(), std::vector<uint8_t>({'a', 'b', 'c'}));

    // More than one read's worth, in order.
    Mode = 0;
    std::vector<uint8_t> many(10000);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<uint8_t>(i * 31 + 7);
    Send(many);
    ASSERT_TRUE(WaitForRouted(reader, 9 + many.size()));
    many.insert(many.begin(), {'a', 'b', 'c'});
    EXPECT_EQ(Console(), many);
}

TEST_F(Reader, TheModesNameTheirReceivers)
{
    EXPECT_EQ(RouteFor(0), ByteRoute::Console);
    EXPECT_EQ(RouteFor(1), ByteRoute::Kermit);
    EXPECT_EQ(RouteFor(2), ByteRoute::XModem);
    EXPECT_EQ(RouteFor(3), ByteRoute::Dropped);
    EXPECT_EQ(RouteFor(-1), ByteRoute::Dropped);
}

TEST_F(Reader, EndsAtOnceWhileItWaitsAndWithoutAPipe)
{
    QElapsedTimer clock;
    clock.start();
    {
        SerialReaderThread reader(Ends[0], Mode, Sink());
        QThread::msleep(50);
    }
    {
        SerialReaderThread reader(-1, Mode, Sink());
        QThread::msleep(50);
    }
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST_F(Reader, AClosedPipeIsNotWaitedOnAgain)
{
    SerialReaderThread reader(Ends[0], Mode, Sink());
    Send({'z'});
    ASSERT_TRUE(WaitForRouted(reader, 1));
    close(Ends[1]);
    Ends[1] = -1;
    // A wait that woke at once for ever would keep a processor busy.
    rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    QThread::msleep(300);
    getrusage(RUSAGE_SELF, &after);
    const auto ms = [](const rusage& u) {
        return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
    };
    EXPECT_LT(ms(after) - ms(before), 100.0);
    EXPECT_EQ(Console(), std::vector<uint8_t>({'z'}));
}

} // namespace
} // namespace pelrin
