// The popup menu, the only way to the commands beyond the keys.
#pragma once

#include <QMenu>
#include <cstdint>

namespace pelrin {

// The menu with its captions and mnemonics; each command's action carries
// its id as data (an unsigned integer). Submenus are children of the menu.
QMenu* BuildPopupMenu(QWidget* parent);

// The command id of an action of that menu, or 0 for none.
uint32_t CommandOf(const QAction* action);

} // namespace pelrin
