// The window's creation starts the whole system, in a fixed order. The
// program's calls into the real libraries pass through recorders (the linker
// wraps them), which note each call and what the window had done by then.
#include <QElapsedTimer>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "korvane.h"
#include "tessock.h"
#include "tests/ui/support/work_dir.h"
#include "ui/skin_wnd.h"

using pelrin::CSkinWnd;

namespace {

struct Call {
    std::string name;
    std::vector<int64_t> arguments;
    bool skinLoaded;
    bool menuBuilt;
    bool timerRunning;
    bool visible;
    qint64 at; // ms since the window's creation began
};

CSkinWnd* Current = nullptr;
QElapsedTimer Clock;
std::vector<Call> Calls;

void Note(const char* name, std::vector<int64_t> arguments)
{
    if (!Current)
        return;
    Calls.push_back(Call{name, std::move(arguments), !Current->SkinBitmap.isNull(), Current->PopupMenu != nullptr,
                         Current->Timer.isActive(), Current->isVisible(), Clock.elapsed()});
}

} // namespace

extern "C" {
uint32_t __real_KVConfigure(int32_t option, uint32_t value);
void __real_KVRun(void);
uint32_t __real_KHLoadRom(const char* path);
uint32_t __real_KHCreatePort0(uint32_t size);
uint32_t __real_KHCreatePort1(uint32_t size);
uint32_t __real_KHCreatePort2(uint32_t size);
void __real_KHSetDisplay(KHWindow* window, int32_t x, int32_t y, uint32_t width, uint32_t height, int32_t scale);
uint32_t __real_KHStartServer(uint32_t number);

uint32_t __wrap_KVConfigure(int32_t option, uint32_t value)
{
    Note("KVConfigure", {option, value});
    return __real_KVConfigure(option, value);
}
void __wrap_KVRun(void)
{
    Note("KVRun", {});
    __real_KVRun();
}
uint32_t __wrap_KHLoadRom(const char* path)
{
    Note(std::string("KHLoadRom ").append(path ? path : "(null)").c_str(), {});
    return __real_KHLoadRom(path);
}
uint32_t __wrap_KHCreatePort0(uint32_t size)
{
    Note("KHCreatePort0", {size});
    return __real_KHCreatePort0(size);
}
uint32_t __wrap_KHCreatePort1(uint32_t size)
{
    Note("KHCreatePort1", {size});
    return __real_KHCreatePort1(size);
}
uint32_t __wrap_KHCreatePort2(uint32_t size)
{
    Note("KHCreatePort2", {size});
    return __real_KHCreatePort2(size);
}
void __wrap_KHSetDisplay(KHWindow* window, int32_t x, int32_t y, uint32_t width, uint32_t height, int32_t scale)
{
    const bool ours = Current && window == Current->Lcd.Window();
    Note("KHSetDisplay", {ours ? 1 : window ? 2 : 0, x, y, width, height, scale});
    __real_KHSetDisplay(window, x, y, width, height, scale);
}
uint32_t __wrap_KHStartServer(uint32_t number)
{
    Note("KHStartServer", {number});
    return __real_KHStartServer(number);
}
}

namespace {

TEST(StartUp, TheWindowsCreationRunsTheStepsInOrderThenWaitsASecondBeforeShowing)
{
    uitest::WorkDir dir;
    ASSERT_TRUE(dir.ready());
    auto window = std::make_unique<CSkinWnd>();
    Current = window.get();
    Clock.start();
    window->CreateSkinWindow();
    const qint64 created = Clock.elapsed();

    const std::vector<std::pair<std::string, std::vector<int64_t>>> expected = {
        {"KVConfigure", {2, 1}},
        {"KHLoadRom ROM.E49", {}},
        {"KHCreatePort0", {0x80000}},
        {"KHCreatePort1", {0x40000}},
        {"KHCreatePort2", {0x40000}},
        {"KHSetDisplay", {1, 42, 77, 131, 64, 2}},
        {"KHStartServer", {4200}},
        {"KVRun", {}},
    };
    ASSERT_EQ(Calls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Calls[i].name, expected[i].first);
        EXPECT_EQ(Calls[i].arguments, expected[i].second);
        EXPECT_FALSE(Calls[i].visible);
    }
    // The skin is read after the ports, the menu built before the display
    // is attached; the timer starts after the server, before the engine runs.
    EXPECT_FALSE(Calls[4].skinLoaded);
    EXPECT_FALSE(Calls[4].menuBuilt);
    EXPECT_TRUE(Calls[5].skinLoaded);
    EXPECT_TRUE(Calls[5].menuBuilt);
    EXPECT_FALSE(Calls[6].timerRunning);
    EXPECT_TRUE(Calls[7].timerRunning);
    // A second's wait with the engine running, then the window shows.
    EXPECT_GE(created - Calls[7].at, 1000);
    EXPECT_LT(created - Calls[7].at, 1300);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(KVIsRunning(), 1u);

    // What the steps left: the ROM, the three ports.
    uint32_t size = 0;
    uint8_t* buffer = nullptr;
    KHGetRom(&size, &buffer);
    EXPECT_GT(size, 0u);
    KHGetPort0(&size, &buffer);
    EXPECT_EQ(size, 0x80000u);
    KHGetPort1(&size, &buffer);
    EXPECT_EQ(size, 0x40000u);
    KHGetPort2(&size, &buffer);
    EXPECT_EQ(size, 0x40000u);

    // Closing only detaches: no more calls into the start-up steps.
    Calls.clear();
    window->close();
    EXPECT_TRUE(Calls.size() == 1 && Calls[0].name == "KHSetDisplay" && Calls[0].arguments[0] == 0);
    Current = nullptr;
}

TEST(StartUp, WithoutRomOrSkinTheWindowStillOpensAndTheEngineRuns)
{
    uitest::WorkDir dir(uitest::WorkDir::Nothing);
    ASSERT_TRUE(dir.ready());
    auto window = std::make_unique<CSkinWnd>();
    window->CreateSkinWindow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_TRUE(window->SkinBitmap.isNull());
    // Every copy from the skin reads black then.
    ASSERT_EQ(window->SkinDC.size(), QSize(347, 751));
    EXPECT_EQ(window->SkinDC.pixel(200, 745), qRgb(0, 0, 0));
    EXPECT_EQ(window->Backing.pixel(200, 500), qRgb(0, 0, 0));
    uint32_t size = 0;
    uint8_t* buffer = nullptr;
    KHGetPort0(&size, &buffer);
    EXPECT_EQ(size, 0x80000u);
}

} // namespace
