#include "tests/rom/demo_machine.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include "korvane.h"
#include "saturn_asm/lcd_font.h"

namespace test {

namespace {

constexpr unsigned Width = saturn::LcdWidth;
constexpr unsigned Height = saturn::LcdHeight;

// What the engine's handlers report, shared with the test thread.
struct Observed {
    std::mutex Lock;
    std::condition_variable Changed;
    std::array<bool, Width * Height> Dots{};
    unsigned Frames = 0;
    std::deque<uint8_t> Transmitted;
    unsigned ReceiveReads = 0;
    std::vector<std::chrono::steady_clock::time_point> TimerInterrupts;
    unsigned Sleeps = 0;
    std::chrono::steady_clock::time_point SleepStart;
    std::chrono::nanoseconds Asleep{0};
};

Observed* Current = nullptr;

void OnFrame(const uint8_t* frame, uint32_t leftOffset, uint32_t stride)
{
    {
        std::lock_guard<std::mutex> hold(Current->Lock);
        for (unsigned y = 0; y < Height; ++y)
            for (unsigned x = 0; x < Width; ++x)
                Current->Dots[y * Width + x] = frame[y * stride + leftOffset + x] < 128;
        ++Current->Frames;
    }
    Current->Changed.notify_all();
    KVDiscardFrame(frame);
}

void OnSerial(uint32_t event, uint32_t value)
{
    {
        std::lock_guard<std::mutex> hold(Current->Lock);
        if (event == KV_SERIAL_TRANSMIT)
            Current->Transmitted.push_back(static_cast<uint8_t>(value));
        else if (event == KV_SERIAL_RECEIVE_READ)
            ++Current->ReceiveReads;
    }
    Current->Changed.notify_all();
}

int32_t OnInterrupt(uint32_t bits)
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> hold(Current->Lock);
    if (bits == 0x8)
        Current->TimerInterrupts.push_back(now);
    else if (bits == 0x1000)
        Current->SleepStart = now;
    else if (bits == 0x2000) {
        ++Current->Sleeps;
        Current->Asleep += now - Current->SleepStart;
    }
    return 1;
}

} // namespace

void ReleaseEveryKey()
{
    for (int column = 0; column < 9; ++column)
        for (int row = 0; row < 9; ++row)
            KVReleaseKey(column, row);
    KVReleaseKey(9, 9);
}

uint32_t ReadWord(const std::vector<uint8_t>& ram, uint32_t address)
{
    uint32_t value = 0;
    for (unsigned i = 0; i < 5; ++i)
        value |= static_cast<uint32_t>(ram[(address + i) & 0x7FFFF] & 15) << (4 * i);
    return value;
}

void WriteWord(std::vector<uint8_t>& ram, uint32_t address, uint32_t value)
{
    for (unsigned i = 0; i < 5; ++i)
        ram[(address + i) & 0x7FFFF] = static_cast<uint8_t>(value >> (4 * i) & 15);
}

std::string DemoMachine::romPath() const
{
    return DEMO_ROM_PATH;
}

DemoMachine::DemoMachine()
    : Rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK, 0), Ram(0x80000 + KV_BUFFER_SLACK, 0),
      Port1(0x40000 + KV_BUFFER_SLACK, 0), Port2(0x40000 + KV_BUFFER_SLACK, 0)
{
    std::ifstream image(romPath(), std::ios::binary);
    image.read(reinterpret_cast<char*>(Rom.data()), KV_ROM_NIBBLES);
    if (image.gcount() != static_cast<std::streamsize>(KV_ROM_NIBBLES))
        throw std::runtime_error("cannot read " + romPath());

    Current = new Observed;
    KVStop();
    KVConfigure(2, 1);
    KVSetMemoryModule(KV_MODULE_ROM, Rom.data(), 0x3FFFF);
    KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), 0x7FFFF);
    KVSetMemoryModule(KV_MODULE_PORT1, Port1.data(), 0x3FFFF);
    KVSetMemoryModule(KV_MODULE_PORT2, Port2.data(), 0x3FFFF);
    KVSetDisplaySize(Width, Height);
    KVSetDisplayHandler(OnFrame);
    KVSetSerialHandler(OnSerial);
    KVSetInterruptHandler(OnInterrupt, 0x8 | 0x1000 | 0x2000);
    KVReset();
    KVRun();
}

DemoMachine::~DemoMachine()
{
    KVStop();
    ReleaseEveryKey();
    KVSetInterruptHandler(nullptr, 0xFFFF);
    KVSetSerialHandler(nullptr);
    KVSetDisplayHandler(nullptr);
    for (uint32_t id : {KV_MODULE_RAM, KV_MODULE_PORT1, KV_MODULE_PORT2, KV_MODULE_ROM})
        KVSetMemoryModule(id, nullptr, 0);
    delete Current;
    Current = nullptr;
}

bool DemoMachine::waitForScreen(const std::function<bool(const DotReader&)>& test, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> hold(Current->Lock);
    const auto reader = [](unsigned x, unsigned y) { return Current->Dots[y * Width + x]; };
    return Current->Changed.wait_for(hold, timeout, [&] { return Current->Frames > 0 && test(reader); });
}

bool DemoMachine::waitForLine(unsigned n, std::string_view text, std::chrono::milliseconds timeout)
{
    return waitForScreen([&](const DotReader& dark) { return ShownLine(dark, n) == text; }, timeout);
}

std::string DemoMachine::line(unsigned n)
{
    std::lock_guard<std::mutex> hold(Current->Lock);
    return ShownLine([](unsigned x, unsigned y) { return Current->Dots[y * Width + x]; }, n);
}

bool DemoMachine::sendByte(uint8_t byte, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> hold(Current->Lock);
    const unsigned before = Current->ReceiveReads;
    hold.unlock();
    if (!KVSerialSendByte(1, byte))
        return false;
    hold.lock();
    return Current->Changed.wait_for(hold, timeout, [&] { return Current->ReceiveReads > before; });
}

std::optional<uint8_t> DemoMachine::nextByte(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> hold(Current->Lock);
    if (!Current->Changed.wait_for(hold, timeout, [] { return !Current->Transmitted.empty(); }))
        return std::nullopt;
    const uint8_t byte = Current->Transmitted.front();
    Current->Transmitted.pop_front();
    return byte;
}

std::vector<std::chrono::steady_clock::time_point> DemoMachine::timerInterrupts()
{
    std::lock_guard<std::mutex> hold(Current->Lock);
    return Current->TimerInterrupts;
}

unsigned DemoMachine::sleeps()
{
    std::lock_guard<std::mutex> hold(Current->Lock);
    return Current->Sleeps;
}

std::chrono::nanoseconds DemoMachine::timeAsleep()
{
    std::lock_guard<std::mutex> hold(Current->Lock);
    return Current->Asleep;
}

} // namespace test
