// The window on the real engine and helper library: the start-up in its
// order, what the window shows, the commands, the calculator's keys under
// the mouse and the PC keyboard, and dragging.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <mutex>

#include "korvane.h"
#include "tessock.h"
#include "tests/rom/screen.h"
#include "tests/ui/support/window.h"
#include "ui/annunciators.h"
#include "ui/commands.h"
#include "ui/key_table.h"

using namespace uitest;

// The program's calls into the libraries pass through recorders (the linker
// wraps them) that note each call and what the window had done by then:
// skin read 1, menu built 2, timer running 4, shown 8.
namespace {
using Call = std::tuple<std::string, std::vector<int64_t>, int>;
std::vector<Call> Calls;
bool Recording = false;
QElapsedTimer Clock;
qint64 RunAt = 0;

pelrin::CSkinWnd* Created()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<pelrin::CSkinWnd*>(widget))
            return window;
    return nullptr;
}

void Note(const char* name, std::vector<int64_t> arguments)
{
    if (const pelrin::CSkinWnd* w = Recording ? Created() : nullptr) {
        Calls.emplace_back(name, std::move(arguments), (!w->SkinBitmap.isNull()) | (w->PopupMenu != nullptr) << 1 |
                                                           w->Timer.isActive() << 2 | w->isVisible() << 3);
        RunAt = Clock.elapsed();
    }
}
} // namespace

// The wrappers are visible to the linker's check of the libraries, which
// call some of these functions too (the helper library calls KVRun).
#define WRAP(result, name, parameters, arguments, ...)                                                                 \
    extern "C" result __real_##name parameters;                                                                        \
    extern "C" __attribute__((visibility("default"))) result __wrap_##name parameters                                  \
    {                                                                                                                  \
        Note(#name, __VA_ARGS__);                                                                                      \
        return __real_##name arguments;                                                                                \
    }
WRAP(uint32_t, KVConfigure, (int32_t option, uint32_t value), (option, value), {option, value})
WRAP(void, KVRun, (void), (), {})
WRAP(uint32_t, KHLoadRom, (const char* path), (path), {path && std::string(path) == "ROM.E49"})
WRAP(uint32_t, KHCreatePort0, (uint32_t size), (size), {size})
WRAP(uint32_t, KHCreatePort1, (uint32_t size), (size), {size})
WRAP(uint32_t, KHCreatePort2, (uint32_t size), (size), {size})
WRAP(void, KHSetDisplay, (KHWindow * w, int32_t x, int32_t y, uint32_t width, uint32_t height, int32_t scale),
     (w, x, y, width, height, scale), {w && w == Created()->Lcd.Window() ? 1 : w ? 2 : 0, x, y, width, height, scale})
WRAP(uint32_t, KHStartServer, (uint32_t number), (number), {number})

namespace pelrin {
namespace {

// Counts the paint events a widget gets while this lives.
struct PaintCounter : QObject {
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        Paints += event->type() == QEvent::Paint;
        return false;
    }
    int Paints = 0;
};

uint64_t Cycles()
{
    return uint64_t{KVGetRegister(KV_REG_CYCLES_HIGH)} << 32 | KVGetRegister(KV_REG_CYCLES_LOW);
}

TEST(SkinWindow, StartsTheStepsInOrderShowsTheFaceAndTheLiveLcdRunsTheCommandsAndOnQuittingOnlyDetaches)
{
    Recording = true;
    Clock.start();
    auto window = std::make_unique<OpenWindow>();
    const qint64 created = Clock.elapsed();
    ASSERT_TRUE(window->ready());
    // The skin is read after the ports, the menu built before the display is
    // attached; the timer starts after the server, before the engine runs,
    // which gets a second before the window shows.
    EXPECT_EQ(Calls, (std::vector<Call>{{"KVConfigure", {2, 1}, 0},      {"KHLoadRom", {1}, 0},
                                        {"KHCreatePort0", {0x80000}, 0}, {"KHCreatePort1", {0x40000}, 0},
                                        {"KHCreatePort2", {0x40000}, 0}, {"KHSetDisplay", {1, 42, 77, 131, 64, 2}, 3},
                                        {"KHStartServer", {4200}, 3},    {"KVRun", {}, 7}}));
    Recording = false;
    EXPECT_TRUE(created - RunAt >= 1000 && created - RunAt < 1300) << created - RunAt;
    CSkinWnd& w = **window;
    EXPECT_TRUE(w.isVisible() && w.acceptDrops());
    EXPECT_EQ(KVIsRunning(), 1u);

    // The face, and the ROM's screen over it, also after a repaint.
    EXPECT_TRUE(window->ShowsFace(QRect(0, 215, 347, 525)));
    ASSERT_TRUE(window->WaitForLcdLine(test::KeyLine, "KEY    --"));
    w.InvalidateRect(QRect(0, 0, 347, 740));
    w.OnPaint();
    EXPECT_EQ(window->LcdLine(test::KeyLine), "KEY    --");
    EXPECT_TRUE(window->ShowsFace(QRect(38, 73, 4, 136)) && window->ShowsFace(QRect(304, 73, 4, 136)));
    // A key shows at once, on the LCD and in annunciator 0, which a repaint of the face over it does not lose.
    const auto annunciatorLit = [&](bool lit) {
        return w.Backing.copy(AnnunciatorPlace(0)) == w.SkinDC.copy(lit ? AnnunciatorSprite(0) : AnnunciatorPlace(0));
    };
    KVPressKey(3, 3);
    EXPECT_TRUE(window->WaitForLcdLine(test::KeyLine, "KEY    C3 R3") && WaitFor([&] { return annunciatorLit(true); }));
    w.InvalidateRect(AnnunciatorRow::Area());
    w.OnPaint();
    EXPECT_TRUE(WaitFor([&] { return annunciatorLit(true); }));
    KVReleaseKey(3, 3);
    EXPECT_TRUE(window->WaitForLcdLine(test::KeyLine, "KEY    --") && WaitFor([&] { return annunciatorLit(false); }));
    // Stopped, the machine's frames (forced here, faster than it makes them) show what the window shows, and the
    // annunciators stay as they are: nothing is repainted. The frames count as delivered and as displayed all the
    // same, in the seconds latched meanwhile; the first frames only let the LCD's fading settle.
    KVStop();
    const auto forceFrames = [](std::chrono::milliseconds span) { WaitFor([] { KVForceRefresh(); return false; }, span); };
    forceFrames(300ms);
    const PaintCounter counter(w);
    forceFrames(2500ms);
    EXPECT_EQ(counter.Paints, 0);
    EXPECT_GT(KHGetDisplayedFPS(), 0u);
    EXPECT_LE(KHGetDisplayedFPS(), KHGetRenderedFPS() + 2);
    KVRun();

    for (uint32_t id : {0u, 12345u, 0x10000u | CmdStop})
        EXPECT_FALSE(w.OnCommand(id, 0)) << id;
    // "S&top" halts the processor; "&Start" resumes it.
    EXPECT_TRUE(w.OnCommand(CmdStop, 0) && !KVIsRunning());
    const uint64_t cycles = Cycles();
    Pump(100ms);
    EXPECT_EQ(Cycles(), cycles);
    EXPECT_TRUE(w.OnCommand(CmdStart, 0) && w.OnCommand(CmdStart, 0) && KVIsRunning());
    Pump(100ms);
    w.OnCommand(CmdStop, 0);
    EXPECT_GT(Cycles(), cycles);
    // "&Reset" restarts the processor at address 0, running: the trace log shows it.
    KVLogConfigure(1, 1u << 22);
    EXPECT_TRUE(w.OnCommand(CmdReset, 0) && KVIsRunning());
    Pump(20ms);
    KVStop();
    std::vector<uint32_t> trace(1u << 22);
    const uint32_t count = KVLogRead(trace.data(), static_cast<uint32_t>(trace.size()));
    KVLogConfigure(0, 0);
    ASSERT_TRUE(count > 0 && count < trace.size()) << count;
    EXPECT_EQ(trace[0], 0u);
    KVRun();
    // "Korvane" opens the About box modally.
    bool shown = false;
    QTimer::singleShot(50, [&] {
        if (auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            shown = true, about->accept();
    });
    EXPECT_TRUE(w.OnCommand(CmdAbout, 0) && shown);

    // "&Quit" closes from the event loop; the closing window only detaches
    // the display, the engine running on.
    Calls.clear();
    Recording = true;
    EXPECT_TRUE(w.OnCommand(CmdQuit, 0) && w.isVisible());
    EXPECT_TRUE(WaitFor([&] { return !w.isVisible(); }));
    Recording = false;
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(std::get<1>(Calls[0]), (std::vector<int64_t>{0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(w.Timer.isActive());
    window.reset();
    EXPECT_EQ(KVIsRunning(), 1u);
    EXPECT_TRUE(WaitFor([] { return KHGetDisplayedFPS() == 0; }));
}

TEST(SkinWindow, WithoutRomOrSkinOpensOnABlackFaceAndTheEngineRuns)
{
    OpenWindow window(false);
    ASSERT_TRUE(window.ready());
    EXPECT_TRUE(window->isVisible() && window->SkinBitmap.isNull() && KVIsRunning());
    ASSERT_EQ(window->SkinDC.size(), QSize(347, 751));
    EXPECT_TRUE(window->SkinDC.pixel(200, 745) == qRgb(0, 0, 0) && window->Backing.pixel(200, 500) == qRgb(0, 0, 0));
}

// Every press and release that reaches the engine: column, row, down. The
// handler runs on the execution thread.
using Keys = std::vector<std::array<uint32_t, 3>>;
std::mutex KeyLock;
Keys Pressed;

class KeyInput : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Window.ready());
        KVSetKeyboardHandler([](int32_t column, int32_t row, uint32_t down) {
            std::lock_guard<std::mutex> hold(KeyLock);
            Pressed.push_back({uint32_t(column), uint32_t(row), down});
        });
    }
    void TearDown() override { KVSetKeyboardHandler(nullptr); }
    static Keys Taken()
    {
        std::lock_guard<std::mutex> hold(KeyLock);
        return std::exchange(Pressed, {});
    }
    static QRect Area(int row)
    {
        const KeyRect& k = KeyTable[row];
        return QRect(QPoint(k.left, k.top), QPoint(k.right - 1, k.bottom - 1));
    }
    static QPoint Centre(int row)
    {
        const KeyRect& k = KeyTable[row];
        return QPoint((k.left + k.right) / 2, (k.top + k.bottom) / 2);
    }
    // The key's centre as the window shows it: the face's, brightened by 128.
    bool Glows(int row) const
    {
        const QRgb face = Window->SkinDC.pixel(Centre(row));
        const auto up = [](int v) { return std::min(v + 128, 255); };
        return Window->Backing.pixel(Centre(row)) == qRgb(up(qRed(face)), up(qGreen(face)), up(qBlue(face)));
    }
    void Mouse(QTest::MouseAction action, int row, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseEvent(action, &*Window, button, {}, row < 0 ? QPoint(173, 250) : Centre(row));
    }

    OpenWindow Window;
};

TEST_F(KeyInput, PcKeysAndTheMousePressAndReleaseKeysGlowDragTheWindowAndWorkItsButtons)
{
    // A PC key presses once, ignores its repeats, reaches the window past
    // Qt's focus handling and releases the key it pressed.
    QTest::keyPress(&*Window, Qt::Key_A);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(), true);
    QKeyEvent repeatUp(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QString(), true);
    for (QKeyEvent* event : {&repeatUp, &repeat, &repeatUp, &repeat})
        QApplication::sendEvent(&*Window, event);
    QTest::keyRelease(&*Window, Qt::Key_A);
    QTest::keyClick(&*Window, Qt::Key_Tab);
    QTest::keyClick(&*Window, Qt::Key_Up);
    // "1" goes down, then Shift, and the key comes up as "!": "1" is released.
    QKeyEvent one(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, 10, 0x31, 0, "1");
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 50, 0xFFE1, 0);
    QKeyEvent bang(QEvent::KeyRelease, Qt::Key_Exclam, Qt::ShiftModifier, 10, 0x21, 0, "!");
    QKeyEvent shiftUp(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier, 50, 0xFFE1, 0);
    for (QKeyEvent* event : {&one, &shift, &bang, &shiftUp})
        QApplication::sendEvent(&*Window, event);
    EXPECT_EQ(Taken(), (Keys{{0, 5, 1}, {0, 5, 0}, {3, 7, 1}, {3, 7, 0}, {3, 6, 1}, {3, 6, 0}, {1, 3, 1}, {2, 7, 1},
                             {1, 3, 0}, {2, 7, 0}}));
    // A key outside the table is left to others.
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(&*Window, &f1);
    EXPECT_FALSE(f1.isAccepted());

    // A left press on a key never drags. A right drag from a key presses
    // nothing: 1 pixel is still a click, 2 a drag; let go 10 from the left
    // edge, the window is pulled onto it.
    Window->OnLButtonDown(QPoint(114, 560));
    Window->OnMouseMove(QPoint(150, 600));
    EXPECT_FALSE(Window->DragArmed);
    Window->OnLButtonUp(QPoint(114, 560));
    Taken();
    Window->OnRButtonDown(QPoint(114, 560));
    Window->OnMouseMove(QPoint(115, 561));
    EXPECT_FALSE(Window->Dragging);
    for (QPoint p : {QPoint(116, 560), QPoint(124, 660)})
        Window->OnMouseMove(p);
    EXPECT_EQ(Window->pos(), QPoint(10, 100));
    Window->OnRButtonUp(QPoint(114, 560));
    EXPECT_FALSE(Window->Dragging || Window->DragArmed);
    EXPECT_EQ(Window->pos(), QPoint(0, 100));
    EXPECT_TRUE(Taken().empty() && !KVIsKeyPressed(3, 3));
    Pump(50ms); // the repaint that removes the left press's glow

    // Pressed on one key and released on another, or outside every key: the
    // key pressed is released, and repainted. A click presses and releases,
    // and the repaint removes its glow.
    Mouse(QTest::MousePress, 34);
    EXPECT_TRUE(Glows(34));
    Mouse(QTest::MouseRelease, 35);
    Mouse(QTest::MouseClick, 44);
    EXPECT_TRUE(Glows(44));
    Mouse(QTest::MousePress, 2);
    Mouse(QTest::MouseRelease, -1);
    // A right click latches a key until a left click releases it.
    Mouse(QTest::MouseClick, 40, Qt::RightButton);
    Pump(50ms);
    EXPECT_TRUE(Window.ShowsFace(Area(34)) && Window.ShowsFace(Area(44)) && Window.ShowsFace(Area(2)) &&
                Window.ShowsFace(Area(40)));
    Mouse(QTest::MouseClick, 40, Qt::RightButton);
    Mouse(QTest::MouseClick, 40);
    EXPECT_EQ(Taken(), (Keys{{3, 3, 1}, {3, 3, 0}, {1, 3, 1}, {1, 3, 0}, {0, 5, 1}, {0, 5, 0}, {2, 2, 1}, {2, 2, 1},
                             {2, 2, 1}, {2, 2, 0}}));
    // The window buttons press no key, glow on the press and act on the
    // release over them; let go elsewhere they do nothing.
    Mouse(QTest::MousePress, 0);
    Mouse(QTest::MouseRelease, 34);
    Mouse(QTest::MousePress, 1);
    EXPECT_TRUE(Glows(1) && !Window->isMinimized() && Window->isVisible());
    Mouse(QTest::MouseRelease, 1);
    EXPECT_TRUE(WaitFor([&] { return Window->isMinimized(); }));
    Mouse(QTest::MouseClick, 0);
    EXPECT_TRUE(WaitFor([&] { return !Window->isVisible(); }));
    EXPECT_TRUE(Taken().empty());
}

} // namespace
} // namespace pelrin
