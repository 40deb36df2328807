#include "ui/key_table.h"

#include "ui/commands.h"

namespace pelrin {

namespace {

constexpr std::array<KeyRect, KeyTableRows> BuildKeyTable()
{
    std::array<KeyRect, KeyTableRows> t{};
    int i = 0;
    auto add = [&](int32_t x, int32_t y, int32_t w, int32_t h, int32_t row, int32_t column, uint16_t pcKey) {
        t[i++] = MakeKeyRect(x, y, w, h, row, column, pcKey);
    };
    // The window buttons: Quit top right, Minimize top left.
    add(331, 0, 16, 16, WindowButtonRow, CmdQuit, Vk::None);
    add(0, 0, 16, 16, WindowButtonRow, CmdMinimize, Vk::None);
    // The six menu keys under the display.
    add(21, 275, 45, 27, 5, 0, 'A');
    add(72, 275, 45, 27, 5, 1, 'B');
    add(124, 275, 45, 27, 5, 2, 'C');
    add(176, 275, 45, 27, 5, 3, 'D');
    add(228, 275, 45, 27, 5, 4, 'E');
    add(281, 275, 45, 27, 5, 5, 'F');
    add(27, 322, 52, 31, 5, 7, 'G');
    add(87, 322, 52, 31, 4, 7, 'H');
    add(146, 322, 52, 31, 3, 7, 'I');
    add(27, 363, 52, 31, 2, 7, 'J');
    add(87, 363, 52, 31, 1, 7, 'K');
    add(146, 363, 52, 31, 0, 7, 'L');
    // The arrow cluster.
    add(237, 305, 48, 33, 6, 3, Vk::Up);
    add(237, 385, 48, 33, 6, 1, Vk::Down);
    add(206, 343, 47, 34, 6, 2, Vk::Left);
    add(271, 343, 47, 34, 6, 0, Vk::Right);
    add(27, 420, 54, 29, 4, 6, 'M');
    add(87, 420, 54, 29, 3, 6, 'N');
    add(146, 420, 54, 29, 2, 6, 'O');
    add(206, 420, 54, 29, 1, 6, 'P');
    add(266, 420, 54, 29, 0, 6, Vk::Back);
    add(27, 460, 54, 29, 4, 5, 'Q');
    add(87, 460, 54, 29, 3, 5, 'R');
    add(146, 460, 54, 29, 2, 5, 'S');
    add(206, 460, 54, 29, 1, 5, 'T');
    add(266, 460, 54, 29, 0, 5, 'U');
    add(27, 500, 54, 29, 4, 4, 'V');
    add(87, 500, 54, 29, 3, 4, 'W');
    add(146, 500, 54, 29, 2, 4, 'X');
    add(206, 500, 54, 29, 1, 4, 'Y');
    add(266, 500, 54, 29, 0, 4, 'Z');
    // The number block, with the shift keys and the operators beside it.
    add(27, 543, 54, 35, 7, 3, Vk::Tab);
    add(87, 543, 54, 35, 3, 3, '7');
    add(146, 543, 54, 35, 2, 3, '8');
    add(206, 543, 54, 35, 1, 3, '9');
    add(266, 543, 54, 35, 0, 3, Vk::Print);
    add(27, 588, 54, 35, 7, 2, Vk::Shift);
    add(87, 588, 54, 35, 3, 2, '4');
    add(146, 588, 54, 35, 2, 2, '5');
    add(206, 588, 54, 35, 1, 2, '6');
    add(266, 588, 54, 35, 0, 2, Vk::Insert);
    add(27, 632, 54, 35, 7, 1, Vk::Control);
    add(87, 632, 54, 35, 3, 1, '1');
    add(146, 632, 54, 35, 2, 1, '2');
    add(206, 632, 54, 35, 1, 1, '3');
    add(266, 632, 54, 35, 0, 1, Vk::OemPlus);
    // (9, 9) lies outside the matrix: the engine takes it as the ON key.
    add(27, 677, 54, 35, 9, 9, Vk::Escape);
    add(87, 677, 54, 35, 3, 0, '0');
    // One key reached by two PC keys: the same rectangle twice, so a mouse
    // search always stops at the first.
    add(146, 677, 54, 35, 2, 0, Vk::Delete);
    add(146, 677, 54, 35, 2, 0, Vk::OemPeriod);
    add(206, 677, 54, 35, 1, 0, Vk::Space);
    add(266, 677, 54, 35, 0, 0, Vk::Return);
    t[i] = KeyRect{0, 0, 0, 0, EndOfTableRow, 0, -1, Vk::None};
    return t;
}

} // namespace

constinit const std::array<KeyRect, KeyTableRows> KeyTable = BuildKeyTable();

const KeyRect* FindKeyAt(int32_t x, int32_t y)
{
    for (const KeyRect& key : KeyTable) {
        if (key.rowCode == EndOfTableRow)
            break;
        if (key.contains(x, y))
            return &key;
    }
    return nullptr;
}

const KeyRect* FindKeyByCode(uint32_t virtualKey)
{
    for (const KeyRect& key : KeyTable) {
        if (key.rowCode == EndOfTableRow)
            break;
        if (key.rowCode != WindowButtonRow && key.pcKey == virtualKey)
            return &key;
    }
    return nullptr;
}

} // namespace pelrin
