// The assembler's built-in font and the LCD bitmaps it draws.
//
// The calculator's LCD keeps one bit per dot, four dots to a nibble, the
// lowest bit the leftmost dot; a line of the 131-dot screen is 34 nibbles
// (136 dots) and the screen has 64 lines. The font's cells are 4 dots wide,
// so that at runtime one character row is exactly one nibble, and 6 lines
// high: a 3 by 5 glyph with a blank column on its right and a blank line
// below. It covers the characters from space (0x20) to underscore (0x5F);
// lower-case letters are drawn as capitals.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace saturn {

inline constexpr unsigned LcdWidth = 131;
inline constexpr unsigned LcdHeight = 64;
inline constexpr unsigned LcdLineNibbles = 34;
inline constexpr unsigned GlyphWidth = 4;
inline constexpr unsigned GlyphHeight = 6;
inline constexpr char FirstGlyph = 0x20;
inline constexpr char LastGlyph = 0x5F;

// The six rows of a character's cell, top first, each as an LCD nibble (bit
// 0 the leftmost dot); nothing for a character outside the font.
std::optional<std::array<uint8_t, GlyphHeight>> GlyphRows(char c);

// A band of GlyphHeight LCD lines of LcdLineNibbles nibbles each, line after
// line, holding the text drawn from dot column x on; nothing when a
// character is outside the font or the text runs past the line.
std::optional<std::vector<uint8_t>> RenderTextBand(std::string_view text, unsigned x);

// The dot column at which RenderTextBand centres text on the character grid.
unsigned CentredColumn(std::string_view text);

} // namespace saturn
