// The calculator's keys under the mouse and the PC keyboard, on the real
// engine: what reaches its key matrix, and the glow the window shows.
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "korvane.h"
#include "tests/ui/support/open_window.h"
#include "ui/key_table.h"

using uitest::KeyEvent;
using namespace std::chrono_literals;

namespace pelrin {
namespace {

using Keys = std::vector<KeyEvent>;

QPoint Centre(int row)
{
    const KeyRect& key = KeyTable[row];
    return QPoint((key.left + key.right) / 2, (key.top + key.bottom) / 2);
}

QRect Area(int row)
{
    const KeyRect& key = KeyTable[row];
    return QRect(QPoint(key.left, key.top), QPoint(key.right - 1, key.bottom - 1));
}

class KeyInput : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Window.ready()); }

    // The centre pixel of the key as the window shows it, against the face.
    bool Glows(int row) const
    {
        const QPoint c = Centre(row);
        const QRgb face = Window->SkinDC.pixel(c);
        const QRgb shown = Window->Backing.pixel(c);
        return shown == qRgb(std::min(qRed(face) + 128, 255), std::min(qGreen(face) + 128, 255),
                             std::min(qBlue(face) + 128, 255));
    }
    void Settle() { uitest::Pump(50ms); }

    uitest::OpenWindow Window;
    uitest::KeyLog Log;
};

TEST_F(KeyInput, ALeftPressOnOneKeyAndReleaseOnAnotherLeavesTheFirstDown)
{
    QTest::mousePress(&*Window, Qt::LeftButton, {}, Centre(34));
    EXPECT_EQ(Log.Take(), (Keys{{3, 3, 1}}));
    EXPECT_TRUE(Glows(34));
    QTest::mouseRelease(&*Window, Qt::LeftButton, {}, Centre(35));
    EXPECT_EQ(Log.Take(), (Keys{{3, 2, 0}}));
    Settle();
    EXPECT_EQ(KVIsKeyPressed(3, 3), 1u);
    EXPECT_TRUE(Glows(34));                   // its glow stays
    EXPECT_TRUE(Window.ShowsFace(Area(35))); // the released key was repainted
}

TEST_F(KeyInput, ALeftClickPressesAndReleasesAndTheRepaintRemovesTheGlow)
{
    QTest::mouseClick(&*Window, Qt::LeftButton, {}, Centre(44));
    EXPECT_EQ(Log.Take(), (Keys{{1, 3, 1}, {1, 3, 0}}));
    EXPECT_TRUE(Glows(44));
    Settle();
    EXPECT_TRUE(Window.ShowsFace(Area(44)));
    EXPECT_EQ(KVIsKeyPressed(1, 3), 0u);
}

TEST_F(KeyInput, ALeftReleaseOutsideEveryKeyReleasesNothing)
{
    QTest::mousePress(&*Window, Qt::LeftButton, {}, Centre(2));
    QTest::mouseRelease(&*Window, Qt::LeftButton, {}, QPoint(173, 250));
    EXPECT_EQ(Log.Take(), (Keys{{0, 5, 1}}));
    EXPECT_EQ(KVIsKeyPressed(0, 5), 1u);
}

TEST_F(KeyInput, ARightClickLatchesAKeyALeftClickReleasesIt)
{
    QTest::mouseClick(&*Window, Qt::RightButton, {}, Centre(40));
    EXPECT_EQ(Log.Take(), (Keys{{2, 2, 1}}));
    Settle();
    EXPECT_EQ(KVIsKeyPressed(2, 2), 1u);
    EXPECT_TRUE(Window.ShowsFace(Area(40))); // the glow lasts until the next paint
    QTest::mouseClick(&*Window, Qt::RightButton, {}, Centre(40));
    EXPECT_EQ(Log.Take(), (Keys{{2, 2, 1}}));
    QTest::mouseClick(&*Window, Qt::LeftButton, {}, Centre(40));
    EXPECT_EQ(Log.Take(), (Keys{{2, 2, 1}, {2, 2, 0}}));
    EXPECT_EQ(KVIsKeyPressed(2, 2), 0u);
}

TEST_F(KeyInput, TheOnKeyPressesOutsideTheMatrixAndThePeriodKeyIsTheDeleteRow)
{
    QTest::mouseClick(&*Window, Qt::LeftButton, {}, Centre(48));
    QTest::mouseClick(&*Window, Qt::LeftButton, {}, Centre(51));
    EXPECT_EQ(Log.Take(), (Keys{{9, 9, 1}, {9, 9, 0}, {0, 2, 1}, {0, 2, 0}}));
}

TEST_F(KeyInput, TheQuitButtonGlowsOnThePressAndClosesOnTheRelease)
{
    QTest::mousePress(&*Window, Qt::LeftButton, {}, Centre(0));
    EXPECT_TRUE(Glows(0));
    Settle();
    EXPECT_TRUE(Window->isVisible());
    QTest::mouseRelease(&*Window, Qt::LeftButton, {}, Centre(0));
    EXPECT_TRUE(uitest::WaitFor([&] { return !Window->isVisible(); }, 5s));
    EXPECT_TRUE(Log.Take().empty()); // no calculator key
}

TEST_F(KeyInput, TheMinimizeButtonMinimisesOnTheRelease)
{
    QTest::mousePress(&*Window, Qt::LeftButton, {}, Centre(1));
    EXPECT_FALSE(Window->isMinimized());
    QTest::mouseRelease(&*Window, Qt::LeftButton, {}, Centre(1));
    EXPECT_TRUE(uitest::WaitFor([&] { return Window->isMinimized(); }, 5s));
    EXPECT_TRUE(Log.Take().empty());
}

TEST_F(KeyInput, APcKeyPressesOnceIgnoresItsRepeatsAndReleasesOnce)
{
    QTest::keyPress(&*Window, Qt::Key_A);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(), true);
    QKeyEvent repeatUp(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QString(), true);
    for (int i = 0; i < 3; ++i) {
        QApplication::sendEvent(&*Window, &repeatUp);
        QApplication::sendEvent(&*Window, &repeat);
    }
    EXPECT_EQ(KVIsKeyPressed(0, 5), 1u);
    QTest::keyRelease(&*Window, Qt::Key_A);
    EXPECT_EQ(Log.Take(), (Keys{{0, 5, 1}, {0, 5, 0}}));
}

TEST_F(KeyInput, DeletePeriodEscapeTabAndTheArrowsReachTheirKeys)
{
    QTest::keyClick(&*Window, Qt::Key_Delete);
    QTest::keyClick(&*Window, Qt::Key_Period);
    QTest::keyClick(&*Window, Qt::Key_Escape);
    QTest::keyClick(&*Window, Qt::Key_Tab);
    QTest::keyClick(&*Window, Qt::Key_Up);
    QTest::keyClick(&*Window, Qt::Key_Right);
    EXPECT_EQ(Log.Take(), (Keys{{0, 2, 1}, {0, 2, 0}, {0, 2, 1}, {0, 2, 0}, {9, 9, 1}, {9, 9, 0},
                               {3, 7, 1}, {3, 7, 0}, {3, 6, 1}, {3, 6, 0}, {0, 6, 1}, {0, 6, 0}}));
}

TEST_F(KeyInput, AKeyOutsideTheTableIsLeftToOthers)
{
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(&*Window, &f1);
    EXPECT_FALSE(f1.isAccepted());
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(&*Window, &a);
    EXPECT_TRUE(a.isAccepted());
    EXPECT_EQ(Log.Take(), (Keys{{0, 5, 1}}));
}

TEST_F(KeyInput, AKeyReleasedAfterShiftChangedItsMeaningReleasesTheKeyItPressed)
{
    // "1" goes down, then Shift, and the key comes up as "!".
    QKeyEvent one(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, 10, 0x31, 0, QStringLiteral("1"));
    QKeyEvent shift(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 50, 0xFFE1, 0);
    QKeyEvent bang(QEvent::KeyRelease, Qt::Key_Exclam, Qt::ShiftModifier, 10, 0x21, 0, QStringLiteral("!"));
    QKeyEvent shiftUp(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier, 50, 0xFFE1, 0);
    for (QKeyEvent* event : {&one, &shift, &bang, &shiftUp})
        QApplication::sendEvent(&*Window, event);
    EXPECT_EQ(Log.Take(), (Keys{{1, 3, 1}, {2, 7, 1}, {1, 3, 0}, {2, 7, 0}}));
    EXPECT_EQ(KVIsKeyPressed(1, 3), 0u);
}

} // namespace
} // namespace pelrin
