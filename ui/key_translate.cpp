#include "ui/key_translate.h"

#include "ui/key_table.h"

namespace pelrin {

namespace {

uint32_t KeypadKey(int key)
{
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return Vk::Numpad0 + static_cast<uint32_t>(key - Qt::Key_0);
    switch (key) {
    case Qt::Key_Asterisk:
        return Vk::Multiply;
    case Qt::Key_Plus:
        return Vk::Add;
    case Qt::Key_Minus:
        return Vk::Subtract;
    case Qt::Key_Period:
    case Qt::Key_Comma:
        return Vk::Decimal;
    case Qt::Key_Slash:
        return Vk::Divide;
    default:
        return 0;
    }
}

} // namespace

uint32_t TranslateKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::KeypadModifier) {
        if (const uint32_t code = KeypadKey(key))
            return code;
    }
    // Letters and digits have the codes of their upper-case characters.
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return static_cast<uint32_t>(key);
    switch (key) {
    case Qt::Key_Left:
        return Vk::Left;
    case Qt::Key_Up:
        return Vk::Up;
    case Qt::Key_Right:
        return Vk::Right;
    case Qt::Key_Down:
        return Vk::Down;
    case Qt::Key_Backspace:
        return Vk::Back;
    // Shift+Tab arrives as Backtab; the Tab key is the same key.
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return Vk::Tab;
    case Qt::Key_Print:
        return Vk::Print;
    case Qt::Key_Shift:
        return Vk::Shift;
    case Qt::Key_Insert:
        return Vk::Insert;
    case Qt::Key_Control:
        return Vk::Control;
    // The "=+" key gives Equal, or Plus with Shift held.
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return Vk::OemPlus;
    case Qt::Key_Escape:
        return Vk::Escape;
    case Qt::Key_Delete:
        return Vk::Delete;
    case Qt::Key_Period:
        return Vk::OemPeriod;
    case Qt::Key_Space:
        return Vk::Space;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Vk::Return;
    default:
        return 0;
    }
}

} // namespace pelrin
