// The library as a host loads it: a fresh copy of the shared object is a
// second engine of its own, idle when loaded, and can be unloaded while its
// execution thread runs.
#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "korvane.h"

namespace {

// A GOTO whose offset is -1: it jumps to itself, counted from its address + 1.
constexpr uint8_t LoopAtZero[] = {0x6, 0xF, 0xF, 0xF};

class LibraryCopy {
public:
    LibraryCopy()
    {
        char path[] = "/tmp/korvane-copy-XXXXXX";
        const int fd = mkstemp(path);
        if (fd < 0)
            return;
        close(fd);
        std::filesystem::copy_file(KORVANE_LIBRARY_PATH, path, std::filesystem::copy_options::overwrite_existing);
        Handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        unlink(path); // the mapping stays; nothing is left behind
    }

    ~LibraryCopy() { unload(); }

    void unload()
    {
        if (Handle)
            dlclose(Handle);
        Handle = nullptr;
    }

    bool loaded() const { return Handle != nullptr; }

    template <typename Function>
    Function* get(const char* name) const
    {
        return reinterpret_cast<Function*>(dlsym(Handle, name));
    }

private:
    void* Handle = nullptr;
};

// The copy's exports, looked up by name.
struct Exports {
    explicit Exports(const LibraryCopy& copy)
        : Run(copy.get<decltype(KVRun)>("KVRun")), Stop(copy.get<decltype(KVStop)>("KVStop")),
          IsRunning(copy.get<decltype(KVIsRunning)>("KVIsRunning")),
          GetRegister(copy.get<decltype(KVGetRegister)>("KVGetRegister")),
          SetMemoryModule(copy.get<decltype(KVSetMemoryModule)>("KVSetMemoryModule"))
    {
    }

    bool complete() const { return Run && Stop && IsRunning && GetRegister && SetMemoryModule; }

    decltype(KVRun)* Run;
    decltype(KVStop)* Stop;
    decltype(KVIsRunning)* IsRunning;
    decltype(KVGetRegister)* GetRegister;
    decltype(KVSetMemoryModule)* SetMemoryModule;
};

std::vector<uint8_t> LoopRom()
{
    std::vector<uint8_t> rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK, 0);
    std::copy(std::begin(LoopAtZero), std::end(LoopAtZero), rom.begin());
    return rom;
}


TEST(Library, AFreshCopyLoadsIdleRunsAtOnceAndLeavesTheOtherEngineAlone)
{
    LibraryCopy copy;
    ASSERT_TRUE(copy.loaded()) << dlerror();
    const Exports kv(copy);
    ASSERT_TRUE(kv.complete());
    std::vector<uint8_t> rom = LoopRom();

    EXPECT_EQ(kv.IsRunning(), 0u);
    EXPECT_EQ(kv.GetRegister(KV_REG_PC), 0u);
    kv.SetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF);
    kv.Run(); // the first request after load must not be lost
    EXPECT_EQ(kv.IsRunning(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(KVIsRunning(), 0u) << "the linked engine is another one";
    kv.Stop();
    EXPECT_EQ(kv.IsRunning(), 0u);
    EXPECT_NE(kv.GetRegister(KV_REG_CYCLES_LOW), 0u) << "it ran";
    EXPECT_EQ(kv.GetRegister(KV_REG_PC), 0u) << "still on its loop";
    EXPECT_EQ(KVGetRegister(KV_REG_CYCLES_LOW), 0u);
    kv.SetMemoryModule(KV_MODULE_ROM, nullptr, 0);
}

// In a process of its own: the unloaded library's thread must be gone before
// its code is unmapped, and the process must end normally after that.
TEST(LibraryDeathTest, UnloadingWhileTheEngineRunsLetsTheProcessExitCleanly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::vector<uint8_t> rom = LoopRom();
            LibraryCopy copy;
            const Exports kv(copy);
            if (!kv.complete())
                std::exit(2);
            kv.SetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF);
            kv.Run();
            if (!kv.IsRunning())
                std::exit(3);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            copy.unload();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
