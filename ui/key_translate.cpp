#include "ui/key_translate.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QKeyEvent>
#include <xkbcommon/xkbcommon-x11.h>

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

uint32_t PlainKey(int key)
{
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
    // The "=+" key: "=" unshifted on most layouts, "+" on some.
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

// Qt names a key that types a character by that character, upper case;
// every other key has a code from Key_Escape up.
bool TypesCharacter(int key)
{
    return key >= Qt::Key_Space && key < Qt::Key_Escape;
}

// The X server's keyboard map, read once and again whenever the server
// says it changed (another layout chosen): Qt asks for those notices on
// its connection, and they pass this filter on their way to Qt.
class X11KeyboardMap : public QAbstractNativeEventFilter {
public:
    static X11KeyboardMap* Instance()
    {
        static X11KeyboardMap* map = [] {
            const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
            xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
            uint8_t xkbEvent = 0;
            if (!connection || !xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                                            XKB_X11_MIN_MINOR_XKB_VERSION,
                                                            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                                            &xkbEvent, nullptr))
                return static_cast<X11KeyboardMap*>(nullptr);
            // Lives as long as the application's event dispatcher may call it.
            auto* created = new X11KeyboardMap(connection, xkbEvent);
            qGuiApp->installNativeEventFilter(created);
            return created;
        }();
        return map;
    }

    std::u32string Characters(uint32_t keycode, uint32_t xState)
    {
        if (Stale)
            Reload();
        std::u32string characters;
        if (!Keymap)
            return characters;
        // The layout in use comes with the event (bits 13 and 14 of its
        // state); the key's own rule settles a layout it does not have.
        xkb_state_update_mask(State, 0, 0, 0, 0, 0, (xState >> 13) & 3);
        const xkb_layout_index_t layout = xkb_state_key_get_layout(State, keycode);
        if (layout == XKB_LAYOUT_INVALID)
            return characters;
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(Keymap, keycode, layout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(Keymap, keycode, layout, level, &symbols);
            for (int i = 0; i < count; ++i)
                if (const char32_t c = xkb_keysym_to_utf32(symbols[i]))
                    characters.push_back(c);
        }
        return characters;
    }

protected:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        // An XKB event carries its kind in the second byte: 0 a new
        // keyboard, 1 a new map.
        if (type == "xcb_generic_event_t") {
            const auto* event = static_cast<const uint8_t*>(message);
            if ((event[0] & 0x7F) == XkbEvent && event[1] <= 1)
                Stale = true;
        }
        return false;
    }

private:
    X11KeyboardMap(xcb_connection_t* connection, uint8_t xkbEvent)
        : Connection(connection), Context(xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES)), XkbEvent(xkbEvent)
    {
    }

    void Reload()
    {
        Stale = false;
        xkb_state_unref(State);
        xkb_keymap_unref(Keymap);
        State = nullptr;
        Keymap = nullptr;
        const int32_t device = xkb_x11_get_core_keyboard_device_id(Connection);
        if (!Context || device < 0)
            return;
        Keymap = xkb_x11_keymap_new_from_device(Context, Connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
        State = Keymap ? xkb_state_new(Keymap) : nullptr;
        if (!State) {
            xkb_keymap_unref(Keymap);
            Keymap = nullptr;
        }
    }

    xcb_connection_t* Connection;
    xkb_context* Context;
    xkb_keymap* Keymap = nullptr;
    xkb_state* State = nullptr;
    uint8_t XkbEvent;
    bool Stale = true;
};

} // namespace

uint32_t TranslateKey(int key, Qt::KeyboardModifiers modifiers, std::u32string_view keyCharacters)
{
    if (modifiers & Qt::KeypadModifier) {
        if (const uint32_t code = KeypadKey(key))
            return code;
    }
    if (!TypesCharacter(key) || keyCharacters.empty())
        return PlainKey(key);
    for (const char32_t c : keyCharacters)
        if (const uint32_t code = PlainKey(static_cast<int>(QChar::toUpper(c))))
            return code;
    return 0;
}

std::u32string PhysicalKeyCharacters(const QKeyEvent& event)
{
    X11KeyboardMap* map = X11KeyboardMap::Instance();
    if (!map || event.nativeScanCode() == 0)
        return {};
    return map->Characters(event.nativeScanCode(), event.nativeModifiers());
}

} // namespace pelrin
