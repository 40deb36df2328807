// PC keys as the key table knows them: a Qt key event becomes the classic
// desktop virtual-key code of the same key.
//
// A key that types a character is known by the physical key, not by the
// character it typed: Shift+1 is the "1" key with Shift held (the table
// binds Shift to a calculator key of its own), and on a layout whose number
// row types digits only with Shift (French AZERTY) the row still gives the
// digits. So the characters the key carries on the current layout are
// looked at, the unshifted one first, and the first that the table knows
// names the key; letters follow the layout, as the desktop's key codes do.
#pragma once

#include <Qt>
#include <cstdint>
#include <string>
#include <string_view>

class QKeyEvent;

namespace pelrin {

// The virtual-key code of a Qt key, or 0 for a key that has none here. Keys
// of the numeric keypad keep codes of their own (VK_NUMPAD0 and so on), as
// on the desktop the table was made for, except Enter, which is Return.
// keyCharacters: the characters of the physical key on the current layout,
// level by level, the unshifted one first; empty when they are not known,
// and then a character key goes by the character it typed.
uint32_t TranslateKey(int key, Qt::KeyboardModifiers modifiers, std::u32string_view keyCharacters = {});

// The characters of the physical key that the event came from, from the X
// server's current keyboard map; empty on a platform that does not say.
std::u32string PhysicalKeyCharacters(const QKeyEvent& event);

} // namespace pelrin
