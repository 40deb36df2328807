// The whole system started as the program starts it, through both
// libraries' exports: KVConfigure(2, 1), KHLoadRom with the demonstration
// ROM, ports 0 to 2 of 0x80000, 0x40000 and 0x40000 nibbles, KHSetDisplay
// with a test window at (42, 77), 131 by 64 at scale 2, a serial reader
// thread on KHSerialGetHandle's pipe, and KVRun from reset.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tessock.h"
#include "tests/rom/screen.h"

namespace test {

using namespace std::chrono_literals;

class ProgramStart {
public:
    static constexpr int32_t X = 42, Y = 77, Scale = 2;

    ProgramStart();
    ~ProgramStart();
    ProgramStart(const ProgramStart&) = delete;
    ProgramStart& operator=(const ProgramStart&) = delete;

    bool loaded() const { return Loaded; }
    bool waitForScreen(const std::function<bool(const DotReader&)>& test, std::chrono::milliseconds timeout);
    bool waitForLine(unsigned n, std::string_view text, std::chrono::milliseconds timeout = 5000ms);
    std::string line(unsigned n);
    // Whether every dot was blitted as a Scale by Scale block of one colour.
    bool blocksAreWhole();

    // Bytes from the pipe, in order, while no sink takes them.
    std::optional<uint8_t> nextByte(std::chrono::milliseconds timeout = 5000ms);
    // From now on every byte from the pipe goes to sink, on the reader
    // thread (as a front end feeds a file transfer).
    void routeBytes(std::function<void(uint8_t)> sink);

private:
    static void Blit(void* context, const uint16_t* pixels, uint32_t pitch, int32_t x, int32_t y, uint32_t width,
                     uint32_t height);
    static void Post(void*, uint32_t, uintptr_t, uintptr_t) {}
    void readSerial();
    bool dark(unsigned x, unsigned y) const;

    static constexpr unsigned WindowWidth = 347, WindowHeight = 740;
    KHWindow Window;
    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<uint16_t> Pixels;
    unsigned Blits = 0;
    std::deque<uint8_t> Received;
    std::function<void(uint8_t)> Sink;
    std::atomic<bool> Stopping{false};
    std::thread Reader;
    bool Loaded = false;
};

} // namespace test
