#include "tests/rom/screen.h"

#include "saturn_asm/lcd_font.h"

namespace test {

using namespace saturn;

std::string ReadTextLine(const DotReader& dark, unsigned line)
{
    std::string text;
    for (unsigned cell = 0; cell < LcdWidth / GlyphWidth; ++cell) {
        char found = '?';
        for (char c = FirstGlyph; c <= LastGlyph && found == '?'; ++c) {
            const auto rows = *GlyphRows(c);
            bool same = true;
            for (unsigned row = 0; row < GlyphHeight && same; ++row)
                for (unsigned dot = 0; dot < GlyphWidth && same; ++dot)
                    same = dark(cell * GlyphWidth + dot, line * GlyphHeight + row) == ((rows[row] >> dot & 1) != 0);
            if (same)
                found = c;
        }
        text += found;
    }
    return text;
}

std::string ShownLine(const DotReader& dark, unsigned line)
{
    const std::string text = ReadTextLine(dark, line);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

bool ShowsCentredText(const DotReader& dark, unsigned line, std::string_view text)
{
    const auto band = RenderTextBand(text, CentredColumn(text));
    for (unsigned row = 0; band && row < GlyphHeight; ++row)
        for (unsigned x = 0; x < LcdWidth; ++x)
            if (dark(x, line * GlyphHeight + row) != (((*band)[row * LcdLineNibbles + x / 4] >> (x % 4) & 1) != 0))
                return false;
    return band.has_value();
}

} // namespace test
