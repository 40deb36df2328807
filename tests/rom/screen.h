// Reading the demonstration ROM's screen back from LCD dots: the text of a
// line, each 4 by 6 cell matched against the assembler's font, and a line
// compared dot for dot with text centred as the assembler draws it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace test {

// The ROM's lines of text: the title from line 0, then one line a value.
inline constexpr unsigned TitleLine = 0, ClockLine = 4, KeyLine = 5, StackLine = 6, SerialLine = 7, XModemLine = 8;

// Whether the dot at column x, line y of the 131 by 64 LCD is dark.
using DotReader = std::function<bool(unsigned x, unsigned y)>;

// The 32 characters of text line n (dot lines 6n to 6n + 5); '?' for a cell
// that is no glyph of the font. ShownLine drops the trailing blanks.
std::string ReadTextLine(const DotReader& dark, unsigned line);
std::string ShownLine(const DotReader& dark, unsigned line);

// Whether text line n shows text centred as TEXTC draws it, every dot of
// the line's 131 columns compared.
bool ShowsCentredText(const DotReader& dark, unsigned line, std::string_view text);

} // namespace test
