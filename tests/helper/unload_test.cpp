// The helper library unloaded while its breakpoint action is on: the engine
// stays loaded and runs on, and must not call into code that is gone.
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

#include "tests/helper/support/calculator.h"
#include "tests/helper/support/loaded_library.h"

namespace {

using namespace std::chrono_literals;

std::atomic<int> Posts{0};
KHWindow PostCounter{nullptr, nullptr, [](void*, uint32_t, uintptr_t, uintptr_t) { ++Posts; }};

// In the child: exits 0 only when the tag ran as a plain instruction after
// the unload; any other status says which step failed.
[[noreturn]] void UnloadWithTheActionOn()
{
    test::LoadedLibrary kh;
    decltype(KHSetBreakpointAction)* setAction = nullptr;
    decltype(KVSetMemoryModule)* setModule = nullptr;
    decltype(KVGetRegister)* getRegister = nullptr;
    decltype(KVStop)* stop = nullptr;
    if (!kh.load() || !kh.find(setAction, "KHSetBreakpointAction") ||
        !kh.find(setModule, "KVSetMemoryModule") || !kh.find(getRegister, "KVGetRegister") ||
        !kh.find(stop, "KVStop"))
        std::_Exit(2);
    if (!dlopen("libkorvane.so", RTLD_NOW | RTLD_NOLOAD)) // keeps the engine loaded
        std::_Exit(3);

    // A ROM of the test's own, which outlives the library's images.
    static std::vector<uint8_t> rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK);
    test::Program loop(0x01000);
    loop.label("loop").breakpoint().op("E5").goto_("loop"); // B=B+1 A
    for (const test::Program::Placed& nibble : loop.build())
        rom[nibble.Address] = nibble.Byte;
    kh.Configure(2, 0);
    setModule(KV_MODULE_ROM, rom.data(), 0x3FFFF);
    kh.MemoryReset();
    kh.SetRegister(KV_REG_PC, loop.origin());
    setAction(1, &PostCounter, 9);
    kh.Run();
    if (!test::WaitUntil([&] { return Posts.load() == 1 && !kh.IsRunning(); }, 10s))
        std::_Exit(4); // the action was not on

    kh.unload();
    if (dlopen(TESSOCK_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD))
        std::_Exit(5); // still loaded: the test would prove nothing
    kh.Run();
    std::this_thread::sleep_for(50ms);
    stop();
    std::_Exit(getRegister(KV_REG_A_LOW + 2) > 10 && Posts.load() == 1 ? 0 : 6);
}

TEST(UnloadDeathTest, TheBreakpointActionGoesWithTheLibrary)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(UnloadWithTheActionOn(), ::testing::ExitedWithCode(0), "");
}

} // namespace
