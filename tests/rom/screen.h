// Reading the demonstration ROM's screen back from LCD pixels: the title
// lines as the assembler's font renders them, and the text of a line cell by
// cell, each 4 by 6 cell matched against the font's glyphs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace test {

// The ROM's lines of text: the title from line 0, then one line a value.
inline constexpr unsigned TitleLine = 0;
inline constexpr unsigned ClockLine = 4;
inline constexpr unsigned KeyLine = 5;
inline constexpr unsigned StackLine = 6;
inline constexpr unsigned SerialLine = 7;
inline constexpr unsigned XModemLine = 8;

// Whether the dot at column x, line y of the 131 by 64 LCD is dark.
using DotReader = std::function<bool(unsigned x, unsigned y)>;

// The 32 characters of text line n (dot lines 6n to 6n + 5); '?' for a cell
// that is no glyph of the font.
std::string ReadTextLine(const DotReader& dark, unsigned line);

// ReadTextLine without its trailing blanks.
std::string ShownLine(const DotReader& dark, unsigned line);

// Whether text line n shows text centred as the assembler's TEXTC draws it,
// every dot of the line's 131 columns compared.
bool ShowsCentredText(const DotReader& dark, unsigned line, std::string_view text);

} // namespace test
