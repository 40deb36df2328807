// libtessock.so loaded and unloaded a hundred times by a process that links
// only the engine. Each time the engine runs a program that echoes serial
// bytes and draws on the LCD, and the library is unloaded while it runs,
// with a display attached. Afterwards the engine holds no handler of the
// unloaded library (calling one would crash), all its frames are free again,
// and no thread or descriptor of the library is left.
#include <atomic>
#include <chrono>
#include <dirent.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>
#include <set>
#include <thread>
#include <vector>

#include "korvane.h"
#include "tessock.h"
#include "tests/helper/support/loaded_library.h"

namespace {

using namespace std::chrono_literals;
using test::Program;

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
    const size_t descriptors = Entries("/proc/self/fd");
    const size_t threads = Entries("/proc/self/task");
    std::vector<uint8_t> ownRom(KV_ROM_NIBBLES + KV_BUFFER_SLACK, 0);
    Program transmit(0x02000);
    transmit.lc(5, test::BusyIo).op("805").lc(2, 0x5A).d1(test::BusyIo + 0x16).op("14D").rtn(); // DAT1=C B: TBR

    for (int cycle = 0; cycle < 100; ++cycle) {
        SCOPED_TRACE(cycle);
        test::LoadedLibrary kh;
        ASSERT_TRUE(kh.load()) << dlerror();
        ASSERT_TRUE(kh.place(test::DrawAndEcho()));
        kh.SetDisplay(&test::CountingWindow, 42, 77, 0, 0, 2);
        const int blitsBefore = test::CountedBlits.load();
        KVRun();
        ASSERT_EQ(KVIsRunning(), 1u);

        const int reader = kh.GetHandle();
        for (uint32_t i = 0; i < 8; ++i) {
            ASSERT_EQ(kh.SendByte(cycle + i, 2000), 1u);
            uint8_t echoed = 0;
            pollfd ready{reader, POLLIN, 0};
            ASSERT_EQ(poll(&ready, 1, 5000), 1) << "no echo";
            ASSERT_EQ(read(reader, &echoed, 1), 1);
            EXPECT_EQ(echoed, static_cast<uint8_t>(cycle + i));
        }
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (test::CountedBlits.load() == blitsBefore && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        EXPECT_GT(test::CountedBlits.load(), blitsBefore) << "the display drew";
        std::this_thread::sleep_for(std::chrono::microseconds(137 * (cycle % 17)));

        kh.unload(); // while the engine runs, a frame possibly under way
        EXPECT_EQ(KVIsRunning(), 0u) << "the library stopped the engine before its code went";

        // A handler left behind would be called here, into unmapped code.
        KVForceRefresh();
        KVSetMemoryModule(KV_MODULE_ROM, ownRom.data(), 0x3FFFF);
        KVMemoryReset();
        for (const Program::Placed& nibble : transmit.build())
            ownRom[nibble.Address] = nibble.Byte;
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
        if (HasFailure())
            break;
    }
}

} // namespace
