// The calculator's keys on the skin: where each one is drawn, where it sits
// in the engine's 9 by 9 key matrix and which PC key stands for it, plus the
// two window buttons in the face's top corners.
#pragma once

#include <array>
#include <cstdint>

namespace pelrin {

// Virtual-key codes of the PC keys bound to calculator keys. They are the
// desktop's classic codes, kept as data so the table reads as one list.
namespace Vk {
constexpr uint16_t Back = 0x08;
constexpr uint16_t Tab = 0x09;
constexpr uint16_t Return = 0x0D;
constexpr uint16_t Shift = 0x10;
constexpr uint16_t Control = 0x11;
constexpr uint16_t Escape = 0x1B;
constexpr uint16_t Space = 0x20;
constexpr uint16_t Left = 0x25;
constexpr uint16_t Up = 0x26;
constexpr uint16_t Right = 0x27;
constexpr uint16_t Down = 0x28;
constexpr uint16_t Print = 0x2A;
constexpr uint16_t Insert = 0x2D;
constexpr uint16_t Delete = 0x2E;
constexpr uint16_t Numpad0 = 0x60; // to Numpad9 = 0x69
constexpr uint16_t Multiply = 0x6A;
constexpr uint16_t Add = 0x6B;
constexpr uint16_t Subtract = 0x6D;
constexpr uint16_t Decimal = 0x6E;
constexpr uint16_t Divide = 0x6F;
constexpr uint16_t OemPlus = 0xBB;
constexpr uint16_t OemPeriod = 0xBE;
constexpr uint16_t None = 255;
} // namespace Vk

struct KeyRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    // 0 to 8: matrix row; 9 with column 9: the ON key; 10: a window button; -1: end of table.
    int32_t rowCode;
    // Matrix column, or the command id of a window button.
    int32_t columnCode;
    int32_t radius;
    uint16_t pcKey;

    bool contains(int32_t x, int32_t y) const { return left <= x && x < right && top <= y && y < bottom; }
};

constexpr int32_t WindowButtonRow = 10;
constexpr int32_t EndOfTableRow = -1;
constexpr int KeyTableRows = 55;

constexpr KeyRect MakeKeyRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t rowCode,
                              int32_t columnCode, uint16_t pcKey)
{
    const int32_t shorter = width < height ? width : height;
    return KeyRect{x, y, x + width, y + height, rowCode, columnCode, shorter / 2 - 1, pcKey};
}

// Filled by BuildKeyTable at constant initialisation, before any code runs.
extern const std::array<KeyRect, KeyTableRows> KeyTable;

// The first row whose rectangle holds the point, or null.
const KeyRect* FindKeyAt(int32_t x, int32_t y);
// The first calculator key bound to the virtual-key code, or null; the
// window buttons have no PC key and are never found this way.
const KeyRect* FindKeyByCode(uint32_t virtualKey);

} // namespace pelrin
