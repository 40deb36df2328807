#include "platform/pipe.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using platform::Pipe;

namespace {

TEST(Pipe, BytesComeOutInOrderAndBothEndsCloseOnExec)
{
    Pipe pipe;
    EXPECT_EQ(pipe.ReadDescriptor(), -1);
    ASSERT_TRUE(pipe.Open());
    const int reader = pipe.ReadDescriptor();
    ASSERT_GE(reader, 0);
    EXPECT_EQ(pipe.ReadDescriptor(), reader) << "the same read end on every call";
    EXPECT_NE(fcntl(reader, F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(fcntl(reader, F_GETFL) & O_NONBLOCK, 0) << "reads block";

    for (uint8_t byte : {uint8_t{0x41}, uint8_t{0x00}, uint8_t{0xFF}})
        EXPECT_TRUE(pipe.TryWrite(&byte, 1));
    uint8_t got[3] = {};
    ASSERT_EQ(read(reader, got, 3), 3);
    EXPECT_EQ(got[0], 0x41);
    EXPECT_EQ(got[1], 0x00);
    EXPECT_EQ(got[2], 0xFF);
    pipe.Close();
    EXPECT_FALSE(pipe.IsOpen());
    EXPECT_EQ(fcntl(reader, F_GETFD), -1) << "the read end is closed";
}

TEST(Pipe, AFullPipeRefusesAtOnceAndTakesBytesAgainOnceRead)
{
    Pipe pipe;
    ASSERT_TRUE(pipe.Open());
    const auto start = std::chrono::steady_clock::now();
    size_t taken = 0;
    uint8_t byte = 0;
    while (pipe.TryWrite(&byte, 1)) {
        ++byte;
        ++taken;
        ASSERT_LT(taken, size_t{1} << 24) << "never full";
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_GE(taken, 4096u);
    EXPECT_FALSE(pipe.TryWrite(&byte, 1)) << "still full";

    // Reading makes room; the oldest byte comes first.
    uint8_t first[4096];
    ASSERT_EQ(read(pipe.ReadDescriptor(), first, sizeof first), static_cast<ssize_t>(sizeof first));
    EXPECT_EQ(first[0], 0);
    EXPECT_EQ(first[4095], 4095 & 0xFF);
    EXPECT_TRUE(pipe.TryWrite(&byte, 1));
    pipe.Close();
    EXPECT_FALSE(pipe.TryWrite(&byte, 1)) << "a closed pipe takes nothing";
}

TEST(Pipe, ClosingEndsTheWaitOfABlockedReader)
{
    Pipe pipe;
    ASSERT_TRUE(pipe.Open());
    // The reader keeps its own descriptor of the read end, as a front end
    // thread blocked in read() holds the file open.
    const int reader = dup(pipe.ReadDescriptor());
    ASSERT_GE(reader, 0);
    std::atomic<ssize_t> result{-2};
    std::thread thread([&] {
        uint8_t byte;
        result = read(reader, &byte, 1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(result.load(), -2) << "the read blocks while the pipe is empty";
    pipe.Close();
    thread.join();
    EXPECT_EQ(result.load(), 0) << "end of data";
    close(reader);
}

} // namespace
