// libtessock.so loaded by name, as a host loads a plug-in, by a process that
// links only the engine. It is loaded and unloaded a hundred times: each time
// the engine runs a program that echoes serial bytes and draws on the LCD,
// and the library goes while it runs, with a display attached and the
// breakpoint action on. Afterwards the engine holds no handler of it (a call
// would crash or trap), all its frames are free again, and no thread or
// descriptor of it is left. And a process that ends with all of it in use,
// the library never unloaded, ends with status 0.
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <set>

#include "tests/helper/support/calculator.h"

namespace {

using namespace std::chrono_literals;
using test::Program;

#define LIBRARY_EXPORTS(X) X(KHCreateRom) X(KHGetRom) X(KHSetDisplay) X(KHSerialSendByte) X(KHSerialGetHandle) X(KHSetBreakpointAction)

struct Library {
#define MEMBER(name) decltype(&::name) name = nullptr;
    LIBRARY_EXPORTS(MEMBER)
    void* Handle = dlopen(TESSOCK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);

    // Whether every export was found; the program is then in a ROM of the
    // library's own, the memory map reset, PC at the program, the engine
    // running, and a window attached that counts its blits.
    bool run(const Program& program)
    {
        bool found = Handle != nullptr;
#define FIND(name) found = found && (name = reinterpret_cast<decltype(name)>(dlsym(Handle, #name)));
        LIBRARY_EXPORTS(FIND)
        uint8_t* rom = nullptr;
        uint32_t size = 0;
        if (!found || !KHCreateRom(0x100000))
            return false;
        KHGetRom(&size, &rom);
        for (const Program::Placed& nibble : program.build())
            rom[nibble.Address] = nibble.Byte;
        KVConfigure(2, 0);
        KVMemoryReset();
        KVSetRegister(KV_REG_PC, program.origin());
        KHSetDisplay(&CountingWindow, 42, 77, 0, 0, 2);
        KVRun();
        return true;
    }

    // It outlives every library.
    static inline std::atomic<int> Blits{0};
    static inline KHWindow CountingWindow{
        nullptr, [](void*, const uint16_t*, uint32_t, int32_t, int32_t, uint32_t, uint32_t) { ++Blits; }, nullptr};
};

size_t Entries(const char* directory)
{
    size_t count = 0;
    if (DIR* dir = opendir(directory)) {
        while (const dirent* entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

std::set<const uint8_t*> HeldFrames;
std::vector<std::pair<uint32_t, uint32_t>> SerialEvents;

TEST(LoadCycles, AHundredCyclesLeaveNoHandlerNoFrameNoThreadAndNoDescriptor)
{
    KVConfigure(2, 0);
    const size_t descriptors = Entries("/proc/self/fd"), threads = Entries("/proc/self/task");
    std::vector<uint8_t> ownRom(KV_ROM_NIBBLES + KV_BUFFER_SLACK, 0);
    Program transmit(0x02000); // a tag, a call and a return: each would call a breakpoint handler
    transmit.breakpoint().lc(5, test::Io).op("805").lc(2, 0x5A).gosub("send").rtn();
    transmit.label("send").d1(test::Io + 0x16).op("14D").rtn(); // DAT1=C B: TBR
    for (const Program::Placed& nibble : transmit.build())
        ownRom[nibble.Address] = nibble.Byte;

    for (int cycle = 0; cycle < 100 && !HasFailure(); ++cycle) {
        SCOPED_TRACE(cycle);
        Library kh;
        const int blits = Library::Blits.load();
        ASSERT_TRUE(kh.run(test::DrawAndEcho())) << dlerror();
        for (uint32_t i = 0; i < 8; ++i) {
            uint8_t echoed = 0;
            ASSERT_EQ(kh.KHSerialSendByte(cycle + i, 2000), 1u);
            ASSERT_EQ(test::ReadFor(kh.KHSerialGetHandle(), &echoed, 1, 5s), 1u) << "no echo";
            EXPECT_EQ(echoed, static_cast<uint8_t>(cycle + i));
        }
        EXPECT_TRUE(test::WaitUntil([&] { return Library::Blits.load() > blits; }, 10s)) << "the display drew";
        kh.KHSetBreakpointAction(1, &Library::CountingWindow, 9);
        std::this_thread::sleep_for(std::chrono::microseconds(137 * (cycle % 17)));
        dlclose(kh.Handle); // while the engine runs, a frame possibly under way
        EXPECT_EQ(KVIsRunning(), 0u) << "the library stopped the engine before its code went";

        KVForceRefresh();
        KVSetMemoryModule(KV_MODULE_ROM, ownRom.data(), 0x3FFFF);
        KVMemoryReset();
        KVExecuteRoutine(0x02000);
        // Nobody took the transmitted byte: a new handler gets it.
        SerialEvents.clear();
        KVSetSerialHandler([](uint32_t event, uint32_t value) { SerialEvents.push_back({event, value}); });
        EXPECT_EQ(SerialEvents.back(), std::make_pair(uint32_t{KV_SERIAL_TRANSMIT}, uint32_t{0x5A}));
        KVSetSerialHandler(nullptr);
        // Every frame came back: a consumer that keeps them gets all four.
        HeldFrames.clear();
        KVSetDisplayHandler([](const uint8_t* frame, uint32_t, uint32_t) { HeldFrames.insert(frame); });
        for (int refresh = 0; refresh < 8; ++refresh)
            KVForceRefresh();
        KVSetDisplayHandler(nullptr);
        EXPECT_EQ(HeldFrames.size(), 4u);
        for (const uint8_t* frame : HeldFrames)
            KVDiscardFrame(frame);
        KVSetMemoryModule(KV_MODULE_ROM, nullptr, 0);
        EXPECT_EQ(Entries("/proc/self/fd"), descriptors);
        EXPECT_EQ(Entries("/proc/self/task"), threads);
    }
}

// Exits 0 only through the libraries' teardown, the helper library's first
// and the engine's after it; any other status names the step that failed.
[[noreturn]] void RunEverythingAndExit()
{
    static Library kh; // never unloaded
    if (!kh.run(test::DrawAndEcho()))
        std::_Exit(2);
    for (uint32_t byte = 0; byte < 3; ++byte)
        if (kh.KHSerialSendByte(byte, 2000) != 1)
            std::_Exit(3);
    pollfd echoed{kh.KHSerialGetHandle(), POLLIN, 0};
    if (poll(&echoed, 1, 5000) != 1) // the bytes come back and stay in the pipe
        std::_Exit(4);
    if (!test::WaitUntil([] { return Library::Blits.load() >= 3; }, 20s) || !KVIsRunning())
        std::_Exit(5);
    std::exit(0);
}

TEST(ExitDeathTest, AProcessWithEverythingInUseEndsWithStatusZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunEverythingAndExit(), ::testing::ExitedWithCode(0), "");
}

} // namespace
