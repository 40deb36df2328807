// PC keys into the key table's virtual-key codes.
#include <gtest/gtest.h>

#include "ui/key_table.h"
#include "ui/key_translate.h"

namespace pelrin {
namespace {

uint32_t Plain(int key)
{
    return TranslateKey(key, Qt::NoModifier);
}

TEST(KeyTranslate, LettersAndDigitsGiveTheirCharacterCodes)
{
    EXPECT_EQ(Plain(Qt::Key_A), 0x41u);
    EXPECT_EQ(Plain(Qt::Key_L), 0x4Cu);
    EXPECT_EQ(Plain(Qt::Key_Z), 0x5Au);
    EXPECT_EQ(Plain(Qt::Key_0), 0x30u);
    EXPECT_EQ(Plain(Qt::Key_9), 0x39u);
    // Shift does not change a letter's key.
    EXPECT_EQ(TranslateKey(Qt::Key_Q, Qt::ShiftModifier), 0x51u);
}

TEST(KeyTranslate, TheNamedKeysOfTheTable)
{
    EXPECT_EQ(Plain(Qt::Key_Left), 0x25u);
    EXPECT_EQ(Plain(Qt::Key_Up), 0x26u);
    EXPECT_EQ(Plain(Qt::Key_Right), 0x27u);
    EXPECT_EQ(Plain(Qt::Key_Down), 0x28u);
    EXPECT_EQ(Plain(Qt::Key_Backspace), 0x08u);
    EXPECT_EQ(Plain(Qt::Key_Tab), 0x09u);
    EXPECT_EQ(TranslateKey(Qt::Key_Backtab, Qt::ShiftModifier), 0x09u);
    EXPECT_EQ(Plain(Qt::Key_Print), 0x2Au);
    EXPECT_EQ(TranslateKey(Qt::Key_Shift, Qt::ShiftModifier), 0x10u);
    EXPECT_EQ(Plain(Qt::Key_Insert), 0x2Du);
    EXPECT_EQ(TranslateKey(Qt::Key_Control, Qt::ControlModifier), 0x11u);
    EXPECT_EQ(Plain(Qt::Key_Equal), 0xBBu);
    EXPECT_EQ(TranslateKey(Qt::Key_Plus, Qt::ShiftModifier), 0xBBu);
    EXPECT_EQ(Plain(Qt::Key_Escape), 0x1Bu);
    EXPECT_EQ(Plain(Qt::Key_Delete), 0x2Eu);
    EXPECT_EQ(Plain(Qt::Key_Period), 0xBEu);
    EXPECT_EQ(Plain(Qt::Key_Space), 0x20u);
    EXPECT_EQ(Plain(Qt::Key_Return), 0x0Du);
    EXPECT_EQ(Plain(Qt::Key_Enter), 0x0Du);
}

TEST(KeyTranslate, TheKeypadKeepsItsOwnCodesExceptEnter)
{
    EXPECT_EQ(TranslateKey(Qt::Key_7, Qt::KeypadModifier), 0x67u);
    EXPECT_EQ(TranslateKey(Qt::Key_0, Qt::KeypadModifier), 0x60u);
    EXPECT_EQ(TranslateKey(Qt::Key_Asterisk, Qt::KeypadModifier), 0x6Au);
    EXPECT_EQ(TranslateKey(Qt::Key_Minus, Qt::KeypadModifier), 0x6Du);
    EXPECT_EQ(TranslateKey(Qt::Key_Plus, Qt::KeypadModifier), 0x6Bu);
    EXPECT_EQ(TranslateKey(Qt::Key_Period, Qt::KeypadModifier), 0x6Eu);
    EXPECT_EQ(TranslateKey(Qt::Key_Enter, Qt::KeypadModifier), 0x0Du);
    // Keypad arrows (with Num Lock off) are arrows.
    EXPECT_EQ(TranslateKey(Qt::Key_Left, Qt::KeypadModifier), 0x25u);
    // None of the keypad's own codes reaches a calculator key.
    for (int key = Qt::Key_0; key <= Qt::Key_9; ++key)
        EXPECT_EQ(FindKeyByCode(TranslateKey(key, Qt::KeypadModifier)), nullptr) << key;
    EXPECT_EQ(FindKeyByCode(TranslateKey(Qt::Key_Period, Qt::KeypadModifier)), nullptr);
}

TEST(KeyTranslate, KeysOutsideTheTableGiveNoCode)
{
    EXPECT_EQ(Plain(Qt::Key_F1), 0u);
    EXPECT_EQ(Plain(Qt::Key_Alt), 0u);
    EXPECT_EQ(Plain(Qt::Key_Exclam), 0u);
    EXPECT_EQ(Plain(Qt::Key_unknown), 0u);
    EXPECT_EQ(FindKeyByCode(Plain(Qt::Key_F1)), nullptr);
}

} // namespace
} // namespace pelrin
