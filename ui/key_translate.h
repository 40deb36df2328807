// PC keys as the key table knows them: a Qt key event becomes the classic
// desktop virtual-key code of the same key.
#pragma once

#include <Qt>
#include <cstdint>

namespace pelrin {

// The virtual-key code of a Qt key, or 0 for a key that has none here. Keys
// of the numeric keypad keep codes of their own (VK_NUMPAD0 and so on), as
// on the desktop the table was made for, except Enter, which is Return.
uint32_t TranslateKey(int key, Qt::KeyboardModifiers modifiers);

} // namespace pelrin
