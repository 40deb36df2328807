// The library as a host loads it: it exports exactly the KV functions of its
// header, and a fresh copy of the shared object is a second engine of its
// own, idle when loaded, that can be unloaded while its thread runs.
#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "korvane.h"
#include "tests/support/exported_names.h"

namespace {

TEST(Exports, TheLibraryExportsExactlyTheThirtyEightFunctionsOfTheHeader)
{
    const std::set<std::string> declared = test::DeclaredNames(KORVANE_HEADER_PATH, "KV_API ", "KV");
    EXPECT_EQ(declared.size(), 38u);
    const std::set<std::string> exported = test::ExportedNames(KORVANE_LIBRARY_PATH);
    ASSERT_FALSE(exported.empty()) << "nm -D " << KORVANE_LIBRARY_PATH;
    EXPECT_EQ(exported, declared);
}

// A fresh copy of the shared object, loaded under a name of its own, with
// the exports the tests use.
struct LibraryCopy {
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
        Run = find<decltype(KVRun)>("KVRun");
        Stop = find<decltype(KVStop)>("KVStop");
        IsRunning = find<decltype(KVIsRunning)>("KVIsRunning");
        GetRegister = find<decltype(KVGetRegister)>("KVGetRegister");
        SetMemoryModule = find<decltype(KVSetMemoryModule)>("KVSetMemoryModule");
    }
    ~LibraryCopy() { unload(); }

    void unload()
    {
        if (Handle)
            dlclose(std::exchange(Handle, nullptr));
    }
    template <typename Function>
    Function* find(const char* name)
    {
        return Handle ? reinterpret_cast<Function*>(dlsym(Handle, name)) : nullptr;
    }
    bool complete() const { return Run && Stop && IsRunning && GetRegister && SetMemoryModule; }

    void* Handle = nullptr;
    decltype(KVRun)* Run = nullptr;
    decltype(KVStop)* Stop = nullptr;
    decltype(KVIsRunning)* IsRunning = nullptr;
    decltype(KVGetRegister)* GetRegister = nullptr;
    decltype(KVSetMemoryModule)* SetMemoryModule = nullptr;
};

// A ROM whose first instruction is a GOTO to itself (offset -1).
std::vector<uint8_t> LoopRom()
{
    std::vector<uint8_t> rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK, 0);
    rom[0] = 0x6, rom[1] = rom[2] = rom[3] = 0xF;
    return rom;
}

TEST(Library, AFreshCopyLoadsIdleRunsAtOnceAndLeavesTheOtherEngineAlone)
{
    LibraryCopy kv;
    ASSERT_TRUE(kv.complete()) << dlerror();
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
            LibraryCopy kv;
            if (!kv.complete())
                std::exit(2);
            kv.SetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF);
            kv.Run();
            if (!kv.IsRunning())
                std::exit(3);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            kv.unload();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
