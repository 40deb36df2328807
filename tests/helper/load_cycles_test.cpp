// libtessock.so loaded by name, as a host loads a plug-in, in a process that links only the engine: a hundred
// times loaded and unloaded while the engine runs with all of it in use, and once left loaded until the end.
#include <filesystem>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "tests/helper/support/calculator.h"

namespace {

using namespace std::chrono_literals;

std::atomic<int> Blits{0};
KHWindow CountingWindow{nullptr, [](void*, const uint16_t*, uint32_t, int32_t, int32_t, uint32_t, uint32_t) { ++Blits; }, nullptr};

// The display on, then every received byte sent back, for ever; while it waits the picture flips between the
// program's own code and blank memory, so that the render thread has a new picture to draw at every frame (one
// that shows what the window shows already is not drawn again).
test::Program FlickerAndEcho()
{
    using test::Io;
    test::Program p(0x01000);
    p.lc(5, Io).op("805").p(0).d1(Io + 0x00).lc(1, 8).op("1550").d1(Io + 0x28).lc(2, 63).op("14D"); // on, 64 lines
    p.label("poll").d1(Io + 0x20).lc(5, 0x01000).op("145").lc(5, 0).op("145"); // DAT1=C A: the display address
    p.d1(Io + 0x11).op("1570").op("808A0").goyes("poll");                      // C=DAT1 P: RCS, until a byte
    p.d1(Io + 0x14).op("14F").d1(Io + 0x16).op("14D").goto_("poll");            // take it, transmit it
    return p;
}

struct Library {
    void* Handle = dlopen(TESSOCK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    template <typename Function>
    Function* get(const char* name) const { return reinterpret_cast<Function*>(dlsym(Handle, name)); }
#define KH(name) get<decltype(name)>(#name)
    // The flickering echo running in a ROM of the library's own, a window attached; the serial pipe.
    int run() const
    {
        uint8_t* rom = nullptr;
        uint32_t size = 0;
        if (!Handle || !KH(KHCreateRom)(0x100000))
            return -1;
        KH(KHGetRom)(&size, &rom);
        for (const auto& [address, nibble] : FlickerAndEcho().build())
            rom[address] = nibble;
        KVConfigure(2, 0);
        KVMemoryReset();
        KVSetRegister(KV_REG_PC, 0x01000);
        KH(KHSetDisplay)(&CountingWindow, 42, 77, 0, 0, 2);
        KVRun();
        return KH(KHSerialGetHandle)();
    }
};

size_t Entries(const char* directory)
{
    const std::filesystem::directory_iterator entries(directory);
    return static_cast<size_t>(std::distance(begin(entries), end(entries)));
}

std::vector<std::pair<uint32_t, uint32_t>> SerialEvents;

// Each time the library goes while the engine runs, with a display attached and the breakpoint action on.
// Afterwards the engine holds no handler of it (a call would crash, or trap forever), all its frames are free
// again, and no thread or descriptor of it is left.
TEST(LoadCycles, AHundredCyclesLeaveNoHandlerNoFrameNoThreadAndNoDescriptor)
{
    KVConfigure(2, 0);
    const size_t descriptors = Entries("/proc/self/fd"), threads = Entries("/proc/self/task");
    std::vector<uint8_t> rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK, 0);
    test::Program transmit(0x02000); // a tag, a call and a return: each would call a breakpoint handler
    transmit.breakpoint().lc(5, test::Io).op("805").lc(2, 0x5A).gosub("send").rtn();
    transmit.label("send").d1(test::Io + 0x16).op("14D").rtn(); // DAT1=C B: TBR
    for (const auto& [address, nibble] : transmit.build())
        rom[address] = nibble;
    for (int cycle = 0; cycle < 100 && !HasFailure(); ++cycle) {
        SCOPED_TRACE(cycle);
        const Library kh;
        const int blits = Blits.load(), reader = kh.run();
        ASSERT_GE(reader, 0) << dlerror();
        for (uint8_t i = 0, echoed = 0; i < 8; ++i) {
            ASSERT_EQ(kh.KH(KHSerialSendByte)(cycle + i, 2000), 1u);
            ASSERT_EQ(test::ReadFor(reader, &echoed, 1, 5s), 1u) << "no echo";
            EXPECT_EQ(echoed, static_cast<uint8_t>(cycle + i));
        }
        EXPECT_TRUE(test::WaitUntil([&] { return Blits.load() > blits; }, 10s)) << "the display drew";
        kh.KH(KHSetBreakpointAction)(1, &CountingWindow, 9);
        std::this_thread::sleep_for(std::chrono::microseconds(137 * (cycle % 17)));
        dlclose(kh.Handle); // while the engine runs, a frame possibly under way
        EXPECT_EQ(KVIsRunning(), 0u) << "the library stopped the engine before its code went";

        KVForceRefresh();
        KVSetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF);
        KVMemoryReset();
        KVExecuteRoutine(0x02000);
        SerialEvents.clear(); // nobody took the transmitted byte: a new handler gets it
        KVSetSerialHandler([](uint32_t event, uint32_t value) { SerialEvents.push_back({event, value}); return 1u; });
        EXPECT_EQ(SerialEvents.back(), std::make_pair(uint32_t{KV_SERIAL_TRANSMIT}, uint32_t{0x5A}));
        KVSetSerialHandler(nullptr);
        EXPECT_EQ(test::FreeFrames(), 4u);
        KVSetMemoryModule(KV_MODULE_ROM, nullptr, 0);
        EXPECT_EQ(Entries("/proc/self/fd"), descriptors);
        EXPECT_EQ(Entries("/proc/self/task"), threads);
    }
}

// Exits 0 only through the teardown, the helper library's first and the engine's after it, with the render
// thread drawing and bytes in the pipe; any other status names the step that failed.
[[noreturn]] void RunEverythingAndExit()
{
    static const Library kh; // never unloaded
    pollfd echoed{kh.run(), POLLIN, 0};
    for (uint32_t byte = 0; byte < 3; ++byte)
        if (echoed.fd < 0 || kh.KH(KHSerialSendByte)(byte, 2000) != 1)
            std::_Exit(2);
    if (poll(&echoed, 1, 5000) != 1 || !test::WaitUntil([] { return Blits.load() >= 3; }, 20s) || !KVIsRunning())
        std::_Exit(3);
    std::exit(0);
}

TEST(ExitDeathTest, AProcessWithEverythingInUseEndsWithStatusZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunEverythingAndExit(), ::testing::ExitedWithCode(0), "");
}

} // namespace
