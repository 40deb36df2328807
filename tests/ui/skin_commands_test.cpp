// The commands of the popup menu and the window buttons on the real engine,
// the menu itself under a right click, and the annunciator timer.
#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "korvane.h"
#include "tests/ui/support/open_window.h"
#include "ui/annunciators.h"
#include "ui/commands.h"

using namespace std::chrono_literals;

namespace pelrin {
namespace {

class Commands : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Window.ready()); }
    uitest::OpenWindow Window;
};

uint64_t Cycles()
{
    return uint64_t{KVGetRegister(KV_REG_CYCLES_HIGH)} << 32 | KVGetRegister(KV_REG_CYCLES_LOW);
}

TEST_F(Commands, StopHaltsTheProcessorAndStartResumesIt)
{
    ASSERT_EQ(KVIsRunning(), 1u);
    EXPECT_TRUE(Window->OnCommand(CmdStop, 0));
    EXPECT_EQ(KVIsRunning(), 0u);
    const uint32_t pc = KVGetRegister(KV_REG_PC);
    const uint64_t cycles = Cycles();
    uitest::Pump(100ms);
    EXPECT_EQ(KVGetRegister(KV_REG_PC), pc);
    EXPECT_EQ(Cycles(), cycles);

    EXPECT_TRUE(Window->OnCommand(CmdStart, 0));
    EXPECT_EQ(KVIsRunning(), 1u);
    // A second Start changes nothing.
    EXPECT_TRUE(Window->OnCommand(CmdStart, 0));
    EXPECT_EQ(KVIsRunning(), 1u);
    uitest::Pump(100ms);
    EXPECT_TRUE(Window->OnCommand(CmdStop, 0));
    EXPECT_GT(Cycles(), cycles); // went on from where it was, not from nothing
}

TEST_F(Commands, ResetRestartsTheProcessorAtAddressZeroAndLeavesItRunning)
{
    ASSERT_TRUE(Window->OnCommand(CmdStop, 0));
    // The trace log shows where the processor goes once it runs again.
    KVLogConfigure(1, 1u << 22);
    EXPECT_TRUE(Window->OnCommand(CmdReset, 0));
    EXPECT_EQ(KVIsRunning(), 1u);
    uitest::Pump(20ms);
    KVStop();
    std::vector<uint32_t> trace(1u << 22);
    const uint32_t count = KVLogRead(trace.data(), static_cast<uint32_t>(trace.size()));
    ASSERT_GT(count, 0u);
    ASSERT_LT(count, trace.size()) << "the log overflowed; the first address is lost";
    EXPECT_EQ(trace[0], 0u);
    KVLogConfigure(0, 0);
}

TEST_F(Commands, QuitClosesTheWindowFromTheEventLoopAndMinimizeMinimisesIt)
{
    EXPECT_TRUE(Window->OnCommand(CmdMinimize, 0));
    EXPECT_TRUE(uitest::WaitFor([&] { return Window->isMinimized(); }, 5s));
    EXPECT_TRUE(Window->OnCommand(CmdQuit, 0));
    EXPECT_TRUE(Window->isVisible()); // posted, not done at once
    EXPECT_TRUE(uitest::WaitFor([&] { return !Window->isVisible(); }, 5s));
    EXPECT_EQ(KVIsRunning(), 1u); // the engine runs on until the process ends
}

TEST_F(Commands, KorvaneOpensTheAboutBoxModally)
{
    bool shown = false;
    QTimer::singleShot(50, [&] {
        auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        shown = about != nullptr;
        if (about)
            about->accept();
    });
    EXPECT_TRUE(Window->OnCommand(CmdAbout, 0));
    EXPECT_TRUE(shown);
}

TEST_F(Commands, OtherIdsAreNotTheWindowsAndTheHighBitsCount)
{
    EXPECT_FALSE(Window->OnCommand(0, 0));
    EXPECT_FALSE(Window->OnCommand(12345, 0));
    EXPECT_FALSE(Window->OnCommand(0x10000u | CmdStop, 0));
    EXPECT_EQ(KVIsRunning(), 1u);
}

TEST_F(Commands, ARightClickOutsideTheKeysOpensTheMenuAtThePointerAndRunsTheChoice)
{
    QMenu* opened = nullptr;
    QPoint at;
    // The choice is made as a person makes it with the keyboard: E opens
    // "&Engine", T picks its "S&top".
    QTimer::singleShot(50, [&] {
        opened = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!opened)
            return;
        at = opened->pos();
        QTest::keyClick(opened, Qt::Key_E);
        QTimer::singleShot(50, [&] {
            QWidget* engine = QApplication::activePopupWidget();
            if (engine && engine != opened)
                QTest::keyClick(engine, Qt::Key_T);
            else
                opened->close();
        });
    });
    Window->move(30, 40);
    ASSERT_TRUE(uitest::WaitFor([&] { return Window->pos() == QPoint(30, 40); }, 5s));
    QTest::mouseClick(&*Window, Qt::RightButton, {}, QPoint(173, 250));
    ASSERT_EQ(opened, Window->PopupMenu);
    EXPECT_EQ(at, QPoint(30 + 173, 40 + 250));
    EXPECT_EQ(KVIsRunning(), 0u);
}

TEST_F(Commands, TheTimerCopiesTheAnnunciatorsTheRomSets)
{
    // Whatever the ROM shows, every tick draws each place as its bit says.
    for (int tick = 0; tick < 5; ++tick) {
        uitest::Pump(120ms);
        KVStop(); // holds the register still while it is compared
        Window->OnTimer();
        const uint8_t bits = KVGetAnnunciators();
        for (int i = 0; i < AnnunciatorCount; ++i) {
            const QRect place = AnnunciatorPlace(i);
            const QRect source = (bits >> i) & 1 ? AnnunciatorSprite(i) : place;
            EXPECT_EQ(Window->Backing.copy(place), Window->SkinDC.copy(source)) << i;
        }
        KVRun();
    }
}

} // namespace
} // namespace pelrin
