// libtessock.so loaded by name, as a host that loads it as a plug-in does,
// with the exports the process tests call (the engine's through its
// dependency), and a program that keeps every part of it busy.
#pragma once

#include <atomic>
#include <dlfcn.h>

#include "korvane.h"
#include "tessock.h"
#include "tests/support/program.h"

namespace test {

struct LoadedLibrary {
    bool load()
    {
        Handle = dlopen(TESSOCK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        return Handle && find(CreateRom, "KHCreateRom") && find(GetRom, "KHGetRom") &&
               find(SetDisplay, "KHSetDisplay") && find(SendByte, "KHSerialSendByte") &&
               find(GetHandle, "KHSerialGetHandle") && find(Configure, "KVConfigure") &&
               find(MemoryReset, "KVMemoryReset") && find(SetRegister, "KVSetRegister") && find(Run, "KVRun") &&
               find(IsRunning, "KVIsRunning");
    }
    void unload()
    {
        if (Handle)
            dlclose(Handle);
        Handle = nullptr;
    }
    template <typename Function>
    bool find(Function*& function, const char* name)
    {
        function = reinterpret_cast<Function*>(dlsym(Handle, name));
        return function != nullptr;
    }

    // A ROM of the library's own with the program in it, the memory map
    // reset and PC at the program.
    bool place(const Program& program)
    {
        if (!CreateRom(0x100000))
            return false;
        uint32_t size = 0;
        uint8_t* rom = nullptr;
        GetRom(&size, &rom);
        for (const Program::Placed& nibble : program.build())
            rom[nibble.Address] = nibble.Byte;
        Configure(2, 0);
        MemoryReset();
        SetRegister(KV_REG_PC, program.origin());
        return true;
    }

    void* Handle = nullptr;
    decltype(KHCreateRom)* CreateRom = nullptr;
    decltype(KHGetRom)* GetRom = nullptr;
    decltype(KHSetDisplay)* SetDisplay = nullptr;
    decltype(KHSerialSendByte)* SendByte = nullptr;
    decltype(KHSerialGetHandle)* GetHandle = nullptr;
    decltype(KVConfigure)* Configure = nullptr;
    decltype(KVMemoryReset)* MemoryReset = nullptr;
    decltype(KVSetRegister)* SetRegister = nullptr;
    decltype(KVRun)* Run = nullptr;
    decltype(KVIsRunning)* IsRunning = nullptr;
};

inline constexpr uint32_t BusyIo = 0xF0000;

// The display on with 64 lines of main area, then every received byte
// transmitted back, for ever.
inline Program DrawAndEcho()
{
    const uint32_t io = BusyIo;
    Program p(0x01000);
    p.lc(5, io).op("805").p(0);                            // CONFIG: the I/O window
    p.d1(io + 0x00).lc(1, 8).op("1550");                   // DAT1=C P: display on
    p.d1(io + 0x28).lc(2, 63).op("14D");                   // DAT1=C B: line count 63
    p.label("poll");
    p.d1(io + 0x11).op("1570").op("808A0").goyes("poll");  // until RCS shows a byte
    p.d1(io + 0x14).op("14F");                             // C=DAT1 B: take it
    p.d1(io + 0x16).op("14D");                             // DAT1=C B: send it back
    p.goto_("poll");
    return p;
}

// A window that counts what is drawn into it. It outlives every library.
inline std::atomic<int> CountedBlits{0};
inline KHWindow CountingWindow{
    nullptr, [](void*, const uint16_t*, uint32_t, int32_t, int32_t, uint32_t, uint32_t) { ++CountedBlits; },
    [](void*, uint32_t, uintptr_t, uintptr_t) {}};

} // namespace test
