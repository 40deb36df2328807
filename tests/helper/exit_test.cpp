// A process ends normally while everything of the two libraries is in use:
// the engine running with the display attached, the render thread drawing,
// bytes waiting in the serial pipe. The helper library stops first (it
// stops the engine and removes its handlers), the engine after it.
//
// The libraries are loaded by name after the program has started, as a
// plug-in host loads them, and never unloaded: the process's end is then
// their only teardown. (A library linked into the program is torn down the
// same way, in the same order.)
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "tests/helper/support/loaded_library.h"

namespace {

using namespace std::chrono_literals;

// In the child: exits 0 only through the libraries' teardown; any other
// status says which step failed.
[[noreturn]] void RunEverythingAndExit()
{
    static test::LoadedLibrary kh; // never unloaded
    if (!kh.load() || !kh.place(test::DrawAndEcho()))
        std::_Exit(2);
    kh.SetDisplay(&test::CountingWindow, 42, 77, 0, 0, 2);
    kh.Run();
    for (uint32_t byte = 0; byte < 3; ++byte) {
        if (kh.SendByte(byte, 2000) != 1)
            std::_Exit(3);
    }
    pollfd echoed{kh.GetHandle(), POLLIN, 0};
    if (poll(&echoed, 1, 5000) != 1)
        std::_Exit(4); // the bytes come back and stay in the pipe
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (test::CountedBlits.load() < 3) {
        if (std::chrono::steady_clock::now() > deadline)
            std::_Exit(5);
        std::this_thread::sleep_for(1ms);
    }
    if (!kh.IsRunning())
        std::_Exit(6);
    std::exit(0);
}

TEST(ExitDeathTest, AProcessWithEverythingInUseEndsWithStatusZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunEverythingAndExit(), ::testing::ExitedWithCode(0), "");
}

} // namespace
